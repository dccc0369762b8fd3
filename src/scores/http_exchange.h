// The HTTP exchange with the score server is made by a helper program, kestrow-http, so that
// libcurl and its TLS libraries never load into the game. The helper takes the URL as its one
// argument and the request's body on its standard input, and writes the reply's body on its
// standard output.
#pragma once

#include <cstddef>
#include <string>

inline constexpr const char* kHttpHelperName = "kestrow-http";

// Bounds of one exchange.
inline constexpr long kConnectTimeoutMs = 5000;
inline constexpr long kExchangeTimeoutMs = 10000;
inline constexpr size_t kMaxReplyBytes = 64 * 1024;
// How long the game waits for the helper: the exchange's bound, and time to start and end.
inline constexpr long kHttpHelperWaitMs = kExchangeTimeoutMs + 2000;

// The helper that lies beside the running program; empty when the program cannot be found.
std::string HttpHelperBesideProgram();

// One POST of `body` to `url` made by the helper at `helper`: the reply, empty when the helper
// cannot be started, fails or outlives its wait, and cut to kMaxReplyBytes when it writes more.
std::string PostThroughHttpHelper(const std::string& helper, const std::string& url,
                                  const std::string& body);
