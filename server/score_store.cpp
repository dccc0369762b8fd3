#include "score_store.h"

#include <cstdio>

#include "scores/score_server_protocol.h"

namespace {

constexpr const char* kPostgresPrefix = "postgresql://";

// Logs a database error once per cause.
void ReportError(ScoreStore& store, const char* action, const std::string& message) {
  std::string cause = std::string(action) + ": " + message;
  if (!store.reportedErrors.insert(cause).second) return;
  std::fprintf(stderr, "kestrow-scores: cannot %s\n", cause.c_str());
  std::fflush(stderr);
}

bool ReadBest(ScoreStore& store, std::string* text, std::string* error) {
  if (store.usesPostgres) return PostgresReadBest(store.postgres, text, error);
  return SqliteReadBest(store.sqlite, text, error);
}

}  // namespace

bool IsPlausibleResult(const ReceivedResult& result) {
  return result.time >= kFastestPossibleTime &&
         result.name.find_first_not_of(' ') != std::string::npos;
}

std::string HexAddress(const std::array<unsigned char, 6>& address) {
  std::string text;
  for (unsigned char byte : address) AppendHexByte(text, byte);
  return text;
}

void AppendBestRow(std::string* text, const char* name, size_t nameLength, int32_t time) {
  if (!text->empty()) *text += '|';
  if (name) text->append(name, nameLength);
  *text += '|';
  *text += std::to_string(time);
}

bool OpenScoreStore(ScoreStore& store, const std::string& database, std::string* error) {
  store.bestTextValid = false;
  store.usesPostgres = database.rfind(kPostgresPrefix, 0) == 0;
  if (store.usesPostgres) return OpenPostgresStore(store.postgres, database, error);
  return OpenSqliteStore(store.sqlite, database, error);
}

void CloseScoreStore(ScoreStore& store) {
  if (store.usesPostgres) {
    ClosePostgresStore(store.postgres);
    return;
  }
  CloseSqliteStore(store.sqlite);
}

int StoreResult(ScoreStore& store, const ReceivedResult& result) {
  if (!IsPlausibleResult(result)) return 0;
  std::lock_guard<std::mutex> hold(store.lock);
  std::string error;
  int rank = store.usesPostgres ? PostgresStoreResult(store.postgres, result, &error)
                                : SqliteStoreResult(store.sqlite, result, &error);
  if (rank < 0) ReportError(store, "store a result", error);
  if (rank > 0) store.bestTextValid = false;
  return rank;
}

bool StoreAnswers(ScoreStore& store) {
  std::lock_guard<std::mutex> hold(store.lock);
  return store.usesPostgres ? PostgresAnswers(store.postgres) : SqliteAnswers(store.sqlite);
}

bool ReadBestResults(ScoreStore& store, std::string* text) {
  std::lock_guard<std::mutex> hold(store.lock);
  if (store.usesPostgres && PostgresBestChanged(store.postgres)) store.bestTextValid = false;
  if (!store.bestTextValid) {
    std::string error;
    if (!ReadBest(store, &store.bestText, &error)) {
      ReportError(store, "read the best results", error);
      return false;
    }
    store.bestTextValid = true;
  }
  *text = store.bestText;
  return true;
}
