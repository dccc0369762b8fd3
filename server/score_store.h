// The results the server received, kept in SQLite (write-ahead log), and the list of the best.
#pragma once

#include <sqlite3.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// How many results the list holds and a rank can reach.
inline constexpr int kBestResults = 16;

struct ScoreStore {
  sqlite3* database;
  sqlite3_stmt* countFaster;
  sqlite3_stmt* insert;
  sqlite3_stmt* best;
  std::mutex lock;
  // The list reply, rebuilt after a result enters the best.
  std::string bestText;
  bool bestTextValid;
  // Copies the write-ahead log into the database on a thread of its own, so that no answer
  // waits for the disk.
  std::thread checkpointer;
  std::mutex checkpointLock;
  std::condition_variable checkpointWake;
  bool closing;
};

struct ReceivedResult {
  std::string name;
  int32_t time;
  std::array<unsigned char, 6> adapterAddress;
  std::string clientAddress;
  int64_t receivedAt;
};

// Opens or creates the database; false with a message when it cannot be used.
bool OpenScoreStore(ScoreStore& store, const std::string& path, std::string* error);
void CloseScoreStore(ScoreStore& store);

// Stores the result and returns the rank it takes among the best (1 the best, 0 below them);
// -1 when it could not be stored. A result goes above the earlier ones of the same time.
int StoreResult(ScoreStore& store, const ReceivedResult& result);

// The best results as name "|" time pairs joined by "|", best first.
std::string BestResultsText(ScoreStore& store);
