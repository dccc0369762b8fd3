// The results the server received and the list of the best: one best time per name and adapter
// address. Kept in an SQLite file, or in PostgreSQL when several servers share one table.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "postgres_store.h"
#include "received_result.h"
#include "sqlite_store.h"

struct ScoreStore {
  bool usesPostgres;
  // Whether the list and the ranks count verified results alone; set before opening.
  bool verifiedOnly;
  SqliteStore sqlite;
  PostgresStore postgres;
  std::mutex lock;
  // The list of the best, read again after a result enters it.
  std::vector<BestRow> best;
  bool bestValid;
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
// (faster than kFastestPossibleTime, or without a name) is neither stored nor ranked: 0. A
// refused result is stored and not ranked: 0; a verified one whose replay was stored before is
// stored refused, and its status changed so.
int StoreResult(ScoreStore& store, ReceivedResult& result);

// Keeps a seed issued to `client`, and forgets those issued more than kSeedLifetimeMs before;
// false when it could not be stored.
bool IssueSeed(ScoreStore& store, uint64_t seed, const std::string& client, int64_t nowMs);
// Tells what the store knew of a seed a result claims (unknown, used, or fresh with its issue
// time), and marks it used; false when the database could not be read.
bool ClaimSeed(ScoreStore& store, uint64_t seed, SeedClaim* claim);

// Whether the database answers now.
bool StoreAnswers(ScoreStore& store);

// The best results, best first; false when the database cannot be read.
bool ReadBestResults(ScoreStore& store, std::vector<BestRow>* rows);
