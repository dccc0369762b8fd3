// libFuzzer target: any body, as the server reads it, and any token.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "score_requests.h"
#include "scores/score_server_protocol.h"

namespace {

// An in-memory store, opened anew every few thousand inputs so that stored results do not pile up.
ScoreStore& Store() {
  static ScoreStore store{};
  static int uses = 0;
  if (uses++ % 4096 == 0) {
    if (store.sqlite.database) CloseScoreStore(store);
    std::string error;
    if (!OpenScoreStore(store, ":memory:", &error)) __builtin_trap();
  }
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  SubmissionToken token;
  if (DecodeSubmissionToken(input, &token)) {
    int32_t time = 0;
    if (!DecodeResultTime(EncodeResultTime(token.time), &time) || time != token.time) {
      __builtin_trap();
    }
  }
  ScoreReply reply = HandleScoreRequest(Store(), input, "127.0.0.1", 0);
  if (reply.status == 200 && reply.body.find('\0') != std::string::npos) __builtin_trap();
  return 0;
}
