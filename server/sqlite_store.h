// The results kept in an SQLite file (write-ahead log), for one server on one machine.
#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "received_result.h"

struct SqliteStore {
  sqlite3* database;
  // Whether the list and the ranks count verified results alone.
  bool verifiedOnly;
  sqlite3_stmt* insert;
  sqlite3_stmt* improveBest;
  sqlite3_stmt* improveVerifiedBest;
  sqlite3_stmt* countFaster;
  sqlite3_stmt* best;
  sqlite3_stmt* findDigest;
  sqlite3_stmt* issueSeed;
  sqlite3_stmt* forgetSeeds;
  sqlite3_stmt* findSeed;
  sqlite3_stmt* useSeed;
  // Copies the write-ahead log into the database on a thread of its own, so that answers seldom
  // wait for the disk.
  std::thread checkpointer;
  std::mutex checkpointLock;
  std::condition_variable checkpointWake;
  bool closing;
};

// Opens or creates the database file, bringing an earlier layout up to date; false with a
// message when it cannot be used.
bool OpenSqliteStore(SqliteStore& store, const std::string& path, bool verifiedOnly,
                     std::string* error);
void CloseSqliteStore(SqliteStore& store);
// Stores a plausible result and returns its rank (0 when unranked or refused); -1 with a message
// on error. A verified result whose replay digest was stored before is stored refused, and its
// status changed so.
int SqliteStoreResult(SqliteStore& store, ReceivedResult& result, std::string* error);
// Keeps a newly issued seed and forgets the expired ones; false with a message on error.
bool SqliteIssueSeed(SqliteStore& store, uint64_t seed, const std::string& client, int64_t nowMs,
                     std::string* error);
// Tells what the store knew of the seed and marks it used; false with a message on error.
bool SqliteClaimSeed(SqliteStore& store, uint64_t seed, SeedClaim* claim, std::string* error);
// Whether the database answers a query.
bool SqliteAnswers(SqliteStore& store);
// The best results, best first; false with a message on error.
bool SqliteReadBest(SqliteStore& store, std::vector<BestRow>* rows, std::string* error);
