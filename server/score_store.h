// The results the server received, kept in SQLite (write-ahead log), and the list of the best:
// one best time per name and adapter address.
#pragma once

#include <sqlite3.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>

// How many results the list holds and a rank can reach.
inline constexpr int kBestResults = 16;

// The fastest time a game can reach, 10.20 s: 2000 points need at least 34 removals (60 points
// for four rows at most), and each removal stops the game for three flashes of 100 ms. Pieces
// can be dropped at once, so nothing else bounds the time.
inline constexpr int32_t kFastestPossibleTime = 10 * 256 + 20;

struct ScoreStore {
  sqlite3* database;
  sqlite3_stmt* insert;
  sqlite3_stmt* improveBest;
  sqlite3_stmt* countFaster;
  sqlite3_stmt* best;
  std::mutex lock;
  // The list reply, rebuilt after a result enters the best.
  std::string bestText;
  bool bestTextValid;
  // The database errors already logged, so that each cause is logged once.
  std::set<std::string> reportedErrors;
  // Copies the write-ahead log into the database on a thread of its own, so that answers seldom
  // wait for the disk.
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

// Stores the result and returns the rank it takes among the best (1 the best, 0 below them or
// when it does not better the earlier best of its name and adapter); -1 when it could not be
// stored. A result goes above the earlier ones of the same time. A result no game can give
// (faster than kFastestPossibleTime, or without a name) is neither stored nor ranked: 0.
int StoreResult(ScoreStore& store, const ReceivedResult& result);

// The best results as name "|" time pairs joined by "|", best first; false when the database
// cannot be read.
bool ReadBestResults(ScoreStore& store, std::string* text);
