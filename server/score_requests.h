// The requests of the score protocol, read from a form-encoded body: the list of the best
// ("action=get"), a seed for a new game ("action=seed"), and a submission
// ("action=set&nom=NAME&tmp=TOKEN", with "&rep=REPLAY" from games that record one).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "score_store.h"

// The largest body read: a submission without a replay needs fewer than 200 bytes, with the
// replay of a won game some 5 to 6 KiB, of a long game several times that.
inline constexpr size_t kMaxRequestBody = 65536;

struct ScoreReply {
  int status;
  std::string body;
  // The cause of a refusal, for the metrics; null when the request was served.
  const char* refusal;
};

// The value of the first field named `key` in a form body, percent-decoded ("+" is a space);
// false when the body has no such field.
bool FormField(std::string_view body, std::string_view key, std::string* value);
std::string DecodeFormText(std::string_view text);

// Answers one request body from `clientAddress` received at `nowMs` (milliseconds since the
// epoch).
ScoreReply HandleScoreRequest(ScoreStore& store, std::string_view body,
                              const std::string& clientAddress, int64_t nowMs);
