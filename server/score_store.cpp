#include "score_store.h"

#include <chrono>

namespace {

constexpr const char* kSchema =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "PRAGMA wal_autocheckpoint=0;"
    "PRAGMA journal_size_limit=67108864;"
    "CREATE TABLE IF NOT EXISTS results ("
    "  id INTEGER PRIMARY KEY,"
    "  name BLOB NOT NULL,"
    "  time INTEGER NOT NULL,"
    "  adapter TEXT NOT NULL,"
    "  client TEXT NOT NULL,"
    "  received INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS results_by_time ON results (time, id);";

bool Prepare(ScoreStore& store, const char* sql, sqlite3_stmt** statement) {
  return sqlite3_prepare_v3(store.database, sql, -1, SQLITE_PREPARE_PERSISTENT, statement,
                            nullptr) == SQLITE_OK;
}

std::string HexAddress(const std::array<unsigned char, 6>& address) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char byte : address) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

// How many stored results are faster than `time`, counting at most the best.
int CountFaster(ScoreStore& store, int32_t time) {
  sqlite3_stmt* statement = store.countFaster;
  sqlite3_bind_int(statement, 1, time);
  sqlite3_bind_int(statement, 2, kBestResults);
  int count = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
  sqlite3_reset(statement);
  return count;
}

bool Insert(ScoreStore& store, const ReceivedResult& result) {
  sqlite3_stmt* statement = store.insert;
  std::string adapter = HexAddress(result.adapterAddress);
  sqlite3_bind_blob(statement, 1, result.name.data(), static_cast<int>(result.name.size()),
                    SQLITE_TRANSIENT);
  sqlite3_bind_int(statement, 2, result.time);
  sqlite3_bind_text(statement, 3, adapter.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(statement, 4, result.clientAddress.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(statement, 5, result.receivedAt);
  bool stored = sqlite3_step(statement) == SQLITE_DONE;
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  return stored;
}

std::string ReadBest(ScoreStore& store) {
  sqlite3_stmt* statement = store.best;
  sqlite3_bind_int(statement, 1, kBestResults);
  std::string text;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    if (!text.empty()) text += '|';
    const void* name = sqlite3_column_blob(statement, 0);
    int length = sqlite3_column_bytes(statement, 0);
    if (name) text.append(static_cast<const char*>(name), static_cast<size_t>(length));
    text += '|';
    text += std::to_string(sqlite3_column_int(statement, 1));
  }
  sqlite3_reset(statement);
  return text;
}

// Every half second, copies what the log holds into the database without holding up writers.
void RunCheckpoints(ScoreStore* store, std::string path) {
  sqlite3* database = nullptr;
  if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(database, 1000);
    std::unique_lock<std::mutex> hold(store->checkpointLock);
    while (!store->closing) {
      store->checkpointWake.wait_for(hold, std::chrono::milliseconds(500));
      sqlite3_wal_checkpoint_v2(database, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
  }
  sqlite3_close(database);
}

}  // namespace

bool OpenScoreStore(ScoreStore& store, const std::string& path, std::string* error) {
  store.bestTextValid = false;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  bool ready =
      sqlite3_open_v2(path.c_str(), &store.database, flags, nullptr) == SQLITE_OK &&
      sqlite3_busy_timeout(store.database, 5000) == SQLITE_OK &&
      sqlite3_exec(store.database, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
      Prepare(store, "SELECT count(*) FROM (SELECT 1 FROM results WHERE time < ?1 LIMIT ?2)",
              &store.countFaster) &&
      Prepare(store,
              "INSERT INTO results (name, time, adapter, client, received) "
              "VALUES (?1, ?2, ?3, ?4, ?5)",
              &store.insert) &&
      Prepare(store, "SELECT name, time FROM results ORDER BY time, id DESC LIMIT ?1", &store.best);
  if (ready) {
    store.closing = false;
    if (path != ":memory:") store.checkpointer = std::thread(RunCheckpoints, &store, path);
    return true;
  }
  *error = store.database ? sqlite3_errmsg(store.database) : "out of memory";
  CloseScoreStore(store);
  return false;
}

void CloseScoreStore(ScoreStore& store) {
  if (store.checkpointer.joinable()) {
    {
      std::lock_guard<std::mutex> hold(store.checkpointLock);
      store.closing = true;
    }
    store.checkpointWake.notify_one();
    store.checkpointer.join();
  }
  sqlite3_finalize(store.countFaster);
  sqlite3_finalize(store.insert);
  sqlite3_finalize(store.best);
  sqlite3_close(store.database);
  store.countFaster = store.insert = store.best = nullptr;
  store.database = nullptr;
}

int StoreResult(ScoreStore& store, const ReceivedResult& result) {
  std::lock_guard<std::mutex> hold(store.lock);
  int faster = CountFaster(store, result.time);
  if (faster < 0 || !Insert(store, result)) return -1;
  if (faster >= kBestResults) return 0;
  store.bestTextValid = false;
  return faster + 1;
}

std::string BestResultsText(ScoreStore& store) {
  std::lock_guard<std::mutex> hold(store.lock);
  if (!store.bestTextValid) {
    store.bestText = ReadBest(store);
    store.bestTextValid = true;
  }
  return store.bestText;
}
