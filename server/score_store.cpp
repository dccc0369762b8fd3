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

bool ReadBest(ScoreStore& store, std::vector<BestRow>* rows, std::string* error) {
  if (store.usesPostgres) return PostgresReadBest(store.postgres, rows, error);
  return SqliteReadBest(store.sqlite, rows, error);
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

bool IsRefused(const std::string& status) {
  return status.rfind(kRefusedPrefix, 0) == 0;
}

std::string FormatBestList(const std::vector<BestRow>& rows) {
  std::string text;
  for (const BestRow& row : rows) {
    if (!text.empty()) text += '|';
    text += row.name + '|' + std::to_string(row.time);
  }
  return text;
}

bool OpenScoreStore(ScoreStore& store, const std::string& database, std::string* error) {
  store.bestValid = false;
  store.usesPostgres = database.rfind(kPostgresPrefix, 0) == 0;
  if (store.usesPostgres) {
    return OpenPostgresStore(store.postgres, database, store.verifiedOnly, error);
  }
  return OpenSqliteStore(store.sqlite, database, store.verifiedOnly, error);
}

void CloseScoreStore(ScoreStore& store) {
  if (store.usesPostgres) {
    ClosePostgresStore(store.postgres);
    return;
  }
  CloseSqliteStore(store.sqlite);
}

int StoreResult(ScoreStore& store, ReceivedResult& result) {
  if (!IsPlausibleResult(result)) return 0;
  std::lock_guard<std::mutex> hold(store.lock);
  std::string error;
  int rank = store.usesPostgres ? PostgresStoreResult(store.postgres, result, &error)
                                : SqliteStoreResult(store.sqlite, result, &error);
  if (rank < 0) ReportError(store, "store a result", error);
  if (rank > 0) store.bestValid = false;
  return rank;
}

bool IssueSeed(ScoreStore& store, uint64_t seed, const std::string& client, int64_t nowMs) {
  std::lock_guard<std::mutex> hold(store.lock);
  std::string error;
  bool issued = store.usesPostgres ? PostgresIssueSeed(store.postgres, seed, client, nowMs, &error)
                                   : SqliteIssueSeed(store.sqlite, seed, client, nowMs, &error);
  if (!issued) ReportError(store, "issue a seed", error);
  return issued;
}

bool ClaimSeed(ScoreStore& store, uint64_t seed, SeedClaim* claim) {
  std::lock_guard<std::mutex> hold(store.lock);
  std::string error;
  bool read = store.usesPostgres ? PostgresClaimSeed(store.postgres, seed, claim, &error)
                                 : SqliteClaimSeed(store.sqlite, seed, claim, &error);
  if (!read) ReportError(store, "claim a seed", error);
  return read;
}

bool StoreAnswers(ScoreStore& store) {
  std::lock_guard<std::mutex> hold(store.lock);
  return store.usesPostgres ? PostgresAnswers(store.postgres) : SqliteAnswers(store.sqlite);
}

bool ReadBestResults(ScoreStore& store, std::vector<BestRow>* rows) {
  std::lock_guard<std::mutex> hold(store.lock);
  if (store.usesPostgres && PostgresBestChanged(store.postgres)) store.bestValid = false;
  if (!store.bestValid) {
    std::string error;
    if (!ReadBest(store, &store.best, &error)) {
      ReportError(store, "read the best results", error);
      return false;
    }
    store.bestValid = true;
  }
  *rows = store.best;
  return true;
}
