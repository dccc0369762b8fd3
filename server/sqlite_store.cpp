#include "sqlite_store.h"

#include <chrono>

namespace {

// The layout this server writes; a database of a later one is refused.
constexpr int kSchemaVersion = 1;

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
    "CREATE INDEX IF NOT EXISTS best_by_time ON best (time, result);"
    "PRAGMA user_version=1;";

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
  return hadBest || FillBest(store);
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
  return Run(statement);
}

// Makes the result the best of its name and adapter if it is faster than their earlier best;
// `improved` tells whether it was.
bool ImproveBest(SqliteStore& store, const ReceivedResult& result, const std::string& adapter,
                 bool* improved) {
  sqlite3_stmt* statement = store.improveBest;
  sqlite3_bind_blob(statement, 1, result.name.data(), static_cast<int>(result.name.size()),
                    SQLITE_STATIC);
  sqlite3_bind_text(statement, 2, adapter.c_str(), -1, SQLITE_STATIC);
  sqlite3_bind_int(statement, 3, result.time);
  sqlite3_bind_int64(statement, 4, sqlite3_last_insert_rowid(store.database));
  if (!Run(statement)) return false;
  *improved = sqlite3_changes(store.database) > 0;
  return true;
}

// How many best results are faster than `time`, counting at most the listed ones.
int CountFaster(SqliteStore& store, int32_t time) {
  sqlite3_stmt* statement = store.countFaster;
  sqlite3_bind_int(statement, 1, time);
  sqlite3_bind_int(statement, 2, kBestResults);
  int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
  sqlite3_reset(statement);
  return count;
}

// Stores the result and ranks it inside the open transaction: -1 on error.
int StoreAndRank(SqliteStore& store, const ReceivedResult& result) {
  std::string adapter = HexAddress(result.adapterAddress);
  bool improved = false;
  if (!Insert(store, result, adapter) || !ImproveBest(store, result, adapter, &improved)) {
    return -1;
  }
  if (!improved) return 0;
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

}  // namespace

bool OpenSqliteStore(SqliteStore& store, const std::string& path, std::string* error) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  bool ready = sqlite3_open_v2(path.c_str(), &store.database, flags, nullptr) == SQLITE_OK &&
               sqlite3_busy_handler(store.database, RetrySoon, nullptr) == SQLITE_OK &&
               CreateTables(store, error) &&
               Prepare(store,
                       "INSERT INTO results (name, time, adapter, client, received) "
                       "VALUES (?1, ?2, ?3, ?4, ?5)",
                       &store.insert) &&
               Prepare(store,
                       "INSERT INTO best VALUES (?1, ?2, ?3, ?4) ON CONFLICT (name, adapter) "
                       "DO UPDATE SET time = excluded.time, result = excluded.result "
                       "WHERE excluded.time < best.time",
                       &store.improveBest) &&
               Prepare(store, "SELECT count(*) FROM (SELECT 1 FROM best WHERE time < ?1 LIMIT ?2)",
                       &store.countFaster) &&
               Prepare(store, "SELECT name, time FROM best ORDER BY time, result DESC LIMIT ?1",
                       &store.best);
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
  sqlite3_finalize(store.insert);
  sqlite3_finalize(store.improveBest);
  sqlite3_finalize(store.countFaster);
  sqlite3_finalize(store.best);
  sqlite3_close(store.database);
  store.insert = store.improveBest = store.countFaster = store.best = nullptr;
  store.database = nullptr;
}

int SqliteStoreResult(SqliteStore& store, const ReceivedResult& result, std::string* error) {
  if (sqlite3_exec(store.database, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(store.database);
    return -1;
  }
  int rank = StoreAndRank(store, result);
  if (rank < 0 || sqlite3_exec(store.database, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(store.database);
    sqlite3_exec(store.database, "ROLLBACK", nullptr, nullptr, nullptr);
    return -1;
  }
  return rank;
}

bool SqliteReadBest(SqliteStore& store, std::string* text, std::string* error) {
  sqlite3_stmt* statement = store.best;
  sqlite3_bind_int(statement, 1, kBestResults);
  text->clear();
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    AppendBestRow(text, static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                  static_cast<size_t>(sqlite3_column_bytes(statement, 0)),
                  sqlite3_column_int(statement, 1));
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
