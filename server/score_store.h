// The results the server received and the list of the best: one best time per name and adapter
// address. Kept in an SQLite file, or in PostgreSQL when several servers share one table.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "postgres_store.h"
#include "received_result.h"
#include "sqlite_store.h"

struct ScoreStore {
  bool usesPostgres;
  SqliteStore sqlite;
  PostgresStore postgres;
  std::mutex lock;
  // The list reply, rebuilt after a result enters the best.
  std::string bestText;
  bool bestTextValid;
  // The database errors already logged, so that each cause is logged once.
  std::set<std::string> reportedErrors;
};

// Opens or creates the store named by `database`: a "postgresql://" URI, otherwise the path of
// an SQLite file. False with a message when it cannot be used.
bool OpenScoreStore(ScoreStore& store, const std::string& database, std::string* error);
void CloseScoreStore(ScoreStore& store);

// Whether a game can give the result: a name that is not blank, and a time no faster than
// kFastestPossibleTime.
bool IsPlausibleResult(const ReceivedResult& result);

// Stores the result and returns the rank it takes among the best (1 the best, 0 below them or
// when it does not better the earlier best of its name and adapter); -1 when it could not be
// stored. A result goes above the earlier ones of the same time. A result no game can give
// (faster than kFastestPossibleTime, or without a name) is neither stored nor ranked: 0.
int StoreResult(ScoreStore& store, const ReceivedResult& result);

// Whether the database answers now.
bool StoreAnswers(ScoreStore& store);

// The best results as name "|" time pairs joined by "|", best first; false when the database
// cannot be read.
bool ReadBestResults(ScoreStore& store, std::string* text);
