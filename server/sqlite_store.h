// The results kept in an SQLite file (write-ahead log), for one server on one machine.
#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "received_result.h"

struct SqliteStore {
  sqlite3* database;
  sqlite3_stmt* insert;
  sqlite3_stmt* improveBest;
  sqlite3_stmt* countFaster;
  sqlite3_stmt* best;
  // Copies the write-ahead log into the database on a thread of its own, so that answers seldom
  // wait for the disk.
  std::thread checkpointer;
  std::mutex checkpointLock;
  std::condition_variable checkpointWake;
  bool closing;
};

// Opens or creates the database file; false with a message when it cannot be used.
bool OpenSqliteStore(SqliteStore& store, const std::string& path, std::string* error);
void CloseSqliteStore(SqliteStore& store);
// Stores a plausible result and returns its rank (0 when unranked); -1 with a message on error.
int SqliteStoreResult(SqliteStore& store, const ReceivedResult& result, std::string* error);
// Whether the database answers a query.
bool SqliteAnswers(SqliteStore& store);
// The list text of the best results; false with a message on error.
bool SqliteReadBest(SqliteStore& store, std::string* text, std::string* error);
