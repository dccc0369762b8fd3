#include "sqlite_store.h"

#include <chrono>

namespace {

// The layout this server writes; a database of a later one is refused, an earlier one is
// brought up to it on opening.
constexpr int kSchemaVersion = 2;

// Every result received is kept in `results`; `best` holds the best of each name and adapter
// address, which the list and the ranks are made of. Besides the checkpoint thread, SQLite
// folds the log back into the database every 1000 pages, so the log stays a few megabytes
// whatever the flow of results.
constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "PRAGMA wal_autocheckpoint=1000;"
    "PRAGMA journal_size_limit=4194304;"
    "CREATE TABLE IF NOT EXISTS results ("
    "  id INTEGER PRIMARY KEY,"
    "  name BLOB NOT NULL,"
    "  time INTEGER NOT NULL,"
    "  adapter TEXT NOT NULL,"
    "  client TEXT NOT NULL,"
    "  received INTEGER NOT NULL);"
    "DROP INDEX IF EXISTS results_by_time;"
    "CREATE TABLE IF NOT EXISTS best ("
    "  name BLOB NOT NULL,"
    "  adapter TEXT NOT NULL,"
    "  time INTEGER NOT NULL,"
    "  result INTEGER NOT NULL,"
    "  PRIMARY KEY (name, adapter)) WITHOUT ROWID;"
    "CREATE INDEX IF NOT EXISTS best_by_time ON best (time, result);";

// Layout 2: each result's status and the digest of its verified replay; `verified_best`, the
// best verified result of each name and adapter; the seeds issued to games. Results stored
// before it are unverified.
constexpr const char* kMigrateTo2 =
    "ALTER TABLE results ADD COLUMN status TEXT NOT NULL DEFAULT 'unverified';"
    "ALTER TABLE results ADD COLUMN digest BLOB;"
    "CREATE UNIQUE INDEX results_by_digest ON results (digest);"
    "CREATE TABLE verified_best ("
    "  name BLOB NOT NULL,"
    "  adapter TEXT NOT NULL,"
    "  time INTEGER NOT NULL,"
    "  result INTEGER NOT NULL,"
    "  PRIMARY KEY (name, adapter)) WITHOUT ROWID;"
    "CREATE INDEX verified_best_by_time ON verified_best (time, result);"
    "CREATE TABLE seeds ("
    "  seed INTEGER PRIMARY KEY,"
    "  issued INTEGER NOT NULL,"
    "  client TEXT NOT NULL,"
    "  used INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX seeds_by_issue ON seeds (issued);"
    "PRAGMA user_version=2;";

// Fills `best` from the results of a database made before it existed.
constexpr const char* kFillBest =
    "INSERT INTO best SELECT name, adapter, min(time), id FROM results "
    "WHERE time >= ?1 AND trim(name) != '' GROUP BY name, adapter";

// Waits for a lock the checkpoint thread holds a moment in steps of 0.1 ms, at most 5 s in all,
// where SQLite's own busy time-out would sleep up to 100 ms at once.
int RetrySoon(void*, int attempts) {
  if (attempts >= 50000) return 0;
  std::this_thread::sleep_for(std::chrono::microseconds(100));
  return 1;
}

bool Prepare(SqliteStore& store, const char* sql, sqlite3_stmt** statement) {
  return sqlite3_prepare_v3(store.database, sql, -1, SQLITE_PREPARE_PERSISTENT, statement,
                            nullptr) == SQLITE_OK;
}

// The first column of the first row of a query, or -1.
int QueryNumber(SqliteStore& store, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(store.database, sql, -1, &statement, nullptr);
  int number = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
  sqlite3_finalize(statement);
  return number;
}

bool FillBest(SqliteStore& store) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(store.database, kFillBest, -1, &statement, nullptr);
  sqlite3_bind_int(statement, 1, kFastestPossibleTime);
  bool filled = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_finalize(statement);
  return filled;
}

bool CreateTables(SqliteStore& store, std::string* error) {
  int version = QueryNumber(store, "PRAGMA user_version");
  if (version > kSchemaVersion) {
    *error = "written by a later kestrow-scores (layout " + std::to_string(version) + ")";
    return false;
  }
  bool hadBest = QueryNumber(store, "SELECT count(*) FROM sqlite_master WHERE name = 'best'") > 0;
  if (sqlite3_exec(store.database, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  if (!hadBest && !FillBest(store)) return false;
  if (version >= 2) return true;
  return sqlite3_exec(store.database, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK &&
         sqlite3_exec(store.database, kMigrateTo2, nullptr, nullptr, nullptr) == SQLITE_OK &&
         sqlite3_exec(store.database, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Runs a statement that returns no row, then resets it; false on error.
bool Run(sqlite3_stmt* statement) {
  bool done = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  return done;
}

bool Insert(SqliteStore& store, const ReceivedResult& result, const std::string& adapter) {
  sqlite3_stmt* statement = store.insert;
  sqlite3_bind_blob(statement, 1, result.name.data(), static_cast<int>(result.name.size()),
                    SQLITE_STATIC);
  sqlite3_bind_int(statement, 2, result.time);
  sqlite3_bind_text(statement, 3, adapter.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_text(statement, 4, result.clientAddress.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int64(statement, 5, result.receivedAt);
  sqlite3_bind_text(statement, 6, result.status.c_str(), -1, SQLITE_STATIC);
  if (!result.replayDigest.empty()) {
    sqlite3_bind_blob(statement, 7, result.replayDigest.data(),
                      static_cast<int>(result.replayDigest.size()), SQLITE_STATIC);
  }
  return Run(statement);
}

// Whether a result with this replay digest was stored before; -1 on error.
int DigestKnown(SqliteStore& store, const std::string& digest) {
  sqlite3_stmt* statement = store.findDigest;
  sqlite3_bind_blob(statement, 1, digest.data(), static_cast<int>(digest.size()), SQLITE_STATIC);
  int step = sqlite3_step(statement);
  sqlite3_reset(statement);
  if (step == SQLITE_ROW) return 1;
  return step == SQLITE_DONE ? 0 : -1;
}

// Makes the result the best of its name and adapter in the table of `statement` if it is faster
// than their earlier best there; `improved` tells whether it was.
bool ImproveBest(SqliteStore& store, sqlite3_stmt* statement, const ReceivedResult& result,
                 const std::string& adapter, int64_t id, bool* improved) {
  sqlite3_bind_blob(statement, 1, result.name.data(), static_cast<int>(result.name.size()),
                    SQLITE_STATIC);
  sqlite3_bind_text(statement, 2, adapter.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int(statement, 3, result.time);
  sqlite3_bind_int64(statement, 4, id);
  if (!Run(statement)) return false;
  *improved = sqlite3_changes(store.database) > 0;
  return true;
}

// How many ranked results are faster than `time`, counting at most the listed ones.
int CountFaster(SqliteStore& store, int32_t time) {
  sqlite3_stmt* statement = store.countFaster;
  sqlite3_bind_int(statement, 1, time);
  sqlite3_bind_int(statement, 2, kBestResults);
  int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
  sqlite3_reset(statement);
  return count;
}

// Stores the result and ranks it inside the open transaction: -1 on error. A verified result
// whose replay was stored before becomes refused. Refused results are kept, never ranked; the
// ranks count the verified results alone when the store was opened so.
int StoreAndRank(SqliteStore& store, ReceivedResult& result) {
  if (!result.replayDigest.empty()) {
    int known = DigestKnown(store, result.replayDigest);
    if (known < 0) return -1;
    if (known) {
      result.status = std::string(kRefusedPrefix) + "replayed";
      result.replayDigest.clear();
    }
  }
  std::string adapter = HexAddress(result.adapterAddress);
  if (!Insert(store, result, adapter)) return -1;
  if (IsRefused(result.status)) return 0;
  int64_t id = sqlite3_last_insert_rowid(store.database);
  bool improved = false;
  bool improvedVerified = false;
  if (!ImproveBest(store, store.improveBest, result, adapter, id, &improved)) return -1;
  if (result.status == kVerified &&
      !ImproveBest(store, store.improveVerifiedBest, result, adapter, id, &improvedVerified)) {
    return -1;
  }
  if (!(store.verifiedOnly ? improvedVerified : improved)) return 0;
  int faster = CountFaster(store, result.time);
  if (faster < 0) return -1;
  return faster < kBestResults ? faster + 1 : 0;
}

// Every 50 ms, copies what the log holds into the database without holding up writers. Under a
// steady flow of results writers never find the log fully copied and it would grow, so past
// 1000 pages (4 MiB) the copy waits for the writer of the moment and holds up the next ones
// until the log starts over. The connection reads once first: until then it has not opened the
// log and a checkpoint does nothing.
void RunCheckpoints(SqliteStore* store, std::string path) {
  constexpr int kRestartPages = 1000;
  sqlite3* database = nullptr;
  if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
      sqlite3_busy_timeout(database, 1000) == SQLITE_OK &&
      sqlite3_exec(database, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
          SQLITE_OK) {
    std::unique_lock<std::mutex> hold(store->checkpointLock);
    while (!store->closing) {
      store->checkpointWake.wait_for(hold, std::chrono::milliseconds(50));
      int logPages = 0;
      sqlite3_wal_checkpoint_v2(database, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logPages, nullptr);
      if (logPages <= kRestartPages) continue;
      sqlite3_wal_checkpoint_v2(database, nullptr, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    }
  }
  sqlite3_close(database);
}

// The statements the store keeps prepared. The ranks and the list are read from `best`, or from
// `verified_best` when the store counts verified results alone.
struct PreparedStatement {
  sqlite3_stmt* SqliteStore::*statement;
  const char* sql;
  const char* verifiedOnlySql;
};

constexpr PreparedStatement kStatements[] = {
    {&SqliteStore::insert,
     "INSERT INTO results (name, time, adapter, client, received, status, digest) "
     "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
     nullptr},
    {&SqliteStore::improveBest,
     "INSERT INTO best VALUES (?1, ?2, ?3, ?4) ON CONFLICT (name, adapter) "
     "DO UPDATE SET time = excluded.time, result = excluded.result "
     "WHERE excluded.time < best.time",
     nullptr},
    {&SqliteStore::improveVerifiedBest,
     "INSERT INTO verified_best VALUES (?1, ?2, ?3, ?4) ON CONFLICT (name, adapter) "
     "DO UPDATE SET time = excluded.time, result = excluded.result "
     "WHERE excluded.time < verified_best.time",
     nullptr},
    {&SqliteStore::countFaster,
     "SELECT count(*) FROM (SELECT 1 FROM best WHERE time < ?1 LIMIT ?2)",
     "SELECT count(*) FROM (SELECT 1 FROM verified_best WHERE time < ?1 LIMIT ?2)"},
    {&SqliteStore::best,
     "SELECT b.name, b.time, r.status = 'verified' FROM best b JOIN results r ON r.id = b.result "
     "ORDER BY b.time, b.result DESC LIMIT ?1",
     "SELECT name, time, 1 FROM verified_best ORDER BY time, result DESC LIMIT ?1"},
    {&SqliteStore::findDigest, "SELECT 1 FROM results WHERE digest = ?1", nullptr},
    {&SqliteStore::issueSeed, "INSERT INTO seeds (seed, issued, client) VALUES (?1, ?2, ?3)",
     nullptr},
    {&SqliteStore::forgetSeeds, "DELETE FROM seeds WHERE issued < ?1", nullptr},
    {&SqliteStore::findSeed, "SELECT issued, used FROM seeds WHERE seed = ?1", nullptr},
    {&SqliteStore::useSeed, "UPDATE seeds SET used = 1 WHERE seed = ?1", nullptr},
};

bool PrepareStatements(SqliteStore& store) {
  for (const PreparedStatement& prepared : kStatements) {
    const char* sql =
        store.verifiedOnly && prepared.verifiedOnlySql ? prepared.verifiedOnlySql : prepared.sql;
    if (!Prepare(store, sql, &(store.*prepared.statement))) return false;
  }
  return true;
}

// Runs `work` inside a write transaction; -1 with a message on error.
template <typename Work>
int InTransaction(SqliteStore& store, std::string* error, Work work) {
  if (sqlite3_exec(store.database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(store.database);
    return -1;
  }
  int outcome = work();
  if (outcome < 0 ||
      sqlite3_exec(store.database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(store.database);
    sqlite3_exec(store.database, "ROLLBACK", nullptr, nullptr, nullptr);
    return -1;
  }
  return outcome;
}

// Forgets the expired seeds and keeps the new one; -1 on error.
int KeepSeed(SqliteStore& store, uint64_t seed, const std::string& client, int64_t nowMs) {
  sqlite3_bind_int64(store.forgetSeeds, 1, nowMs - kSeedLifetimeMs);
  if (!Run(store.forgetSeeds)) return -1;
  sqlite3_bind_int64(store.issueSeed, 1, static_cast<int64_t>(seed));
  sqlite3_bind_int64(store.issueSeed, 2, nowMs);
  sqlite3_bind_text(store.issueSeed, 3, client.c_str(), -1, SQLITE_STATIC);
  return Run(store.issueSeed) ? 1 : -1;
}

// Reads what the store knew of the seed and marks it used; -1 on error.
int UseSeed(SqliteStore& store, uint64_t seed, SeedClaim* claim) {
  sqlite3_bind_int64(store.findSeed, 1, static_cast<int64_t>(seed));
  int step = sqlite3_step(store.findSeed);
  *claim = {SeedState::unknown, 0};
  if (step == SQLITE_ROW) {
    claim->state = sqlite3_column_int(store.findSeed, 1) ? SeedState::used : SeedState::fresh;
    claim->issuedMs = sqlite3_column_int64(store.findSeed, 0);
  }
  sqlite3_reset(store.findSeed);
  if (step != SQLITE_ROW) return step == SQLITE_DONE ? 0 : -1;
  sqlite3_bind_int64(store.useSeed, 1, static_cast<int64_t>(seed));
  return Run(store.useSeed) ? 0 : -1;
}

}  // namespace

bool OpenSqliteStore(SqliteStore& store, const std::string& path, bool verifiedOnly,
                     std::string* error) {
  store.verifiedOnly = verifiedOnly;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  bool ready = sqlite3_open_v2(path.c_str(), &store.database, flags, nullptr) == SQLITE_OK &&
               sqlite3_busy_handler(store.database, RetrySoon, nullptr) == SQLITE_OK &&
               CreateTables(store, error) && PrepareStatements(store);
  if (ready) {
    store.closing = false;
    if (path != ":memory:") store.checkpointer = std::thread(RunCheckpoints, &store, path);
    return true;
  }
  if (error->empty()) *error = store.database ? sqlite3_errmsg(store.database) : "out of memory";
  CloseSqliteStore(store);
  return false;
}

void CloseSqliteStore(SqliteStore& store) {
  if (store.checkpointer.joinable()) {
    {
      std::lock_guard<std::mutex> hold(store.checkpointLock);
      store.closing = true;
    }
    store.checkpointWake.notify_one();
    store.checkpointer.join();
  }
  for (const PreparedStatement& prepared : kStatements) {
    sqlite3_finalize(store.*prepared.statement);
    store.*prepared.statement = nullptr;
  }
  sqlite3_close(store.database);
  store.database = nullptr;
}

int SqliteStoreResult(SqliteStore& store, ReceivedResult& result, std::string* error) {
  return InTransaction(store, error, [&] { return StoreAndRank(store, result); });
}

bool SqliteIssueSeed(SqliteStore& store, uint64_t seed, const std::string& client, int64_t nowMs,
                     std::string* error) {
  return InTransaction(store, error, [&] { return KeepSeed(store, seed, client, nowMs); }) > 0;
}

bool SqliteClaimSeed(SqliteStore& store, uint64_t seed, SeedClaim* claim, std::string* error) {
  return InTransaction(store, error, [&] { return UseSeed(store, seed, claim); }) >= 0;
}

bool SqliteReadBest(SqliteStore& store, std::vector<BestRow>* rows, std::string* error) {
  sqlite3_stmt* statement = store.best;
  sqlite3_bind_int(statement, 1, kBestResults);
  rows->clear();
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    const char* name = static_cast<const char*>(sqlite3_column_blob(statement, 0));
    rows->push_back(
        {std::string(name ? name : "", static_cast<size_t>(sqlite3_column_bytes(statement, 0))),
         sqlite3_column_int(statement, 1), sqlite3_column_int(statement, 2) != 0});
  }
  sqlite3_reset(statement);
  if (step == SQLITE_DONE) return true;
  *error = sqlite3_errmsg(store.database);
  return false;
}

bool SqliteAnswers(SqliteStore& store) {
  return sqlite3_exec(store.database, "SELECT 1 FROM best LIMIT 1", nullptr, nullptr, nullptr) ==
         SQLITE_OK;
}
