// The exchange with the score server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/score_table.h"
#include "scores/score_server_protocol.h"

// Replaces the internet table by the server's list and returns true; an empty reply leaves it
// as it was.
bool FetchInternetScores();
// The start-up fetch: made from the message loop once the main window shows, so that the window
// never waits for the server; the list is redrawn when the reply comes.
void FetchInternetScoresOnceShown();
// Called after each paint of the main window: makes the start-up fetch if one waits.
void RunStartupFetch();
// Sends a won game's result; returns the server's reply, empty when the exchange failed.
std::string SubmitResult(const std::string& name, PackedTime time);

// One POST of `body` to the score server; the reply's body, empty when nothing could be read.
std::string ScoreServerExchange(const std::string& body);
// The token of a submission, with a fresh mask; empty when the machine has no adapter address.
std::string BuildSubmissionToken(uint32_t encodedTime);
// Fills the table from a list reply: name and time of row 0, row 1, ... joined by "|".
void ReadInternetTable(std::string_view reply, ScoreTable& table);

// The server the game talks to: the build's setting until a test points it elsewhere.
void SetScoreServer(const std::string& host, int port);

// Bounds of one exchange.
inline constexpr long kConnectTimeoutMs = 5000;
inline constexpr long kExchangeTimeoutMs = 10000;
inline constexpr size_t kMaxReplyBytes = 64 * 1024;
