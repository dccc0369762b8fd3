#include "scores/score_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "scores/internet_scores.h"
#include "scores/score_list.h"
#include "shell/game_state.h"

namespace {

constexpr const char* kScoreFileName = "Scores.zorvik";

bool ReadWholeFile(const char* name, std::string* content) {
  FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return false;
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) content->append(buffer, count);
  std::fclose(file);
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// Writes a temporary file beside the score file and renames it over the old one, so that an
// interrupted save leaves either the old file or the new one.
bool ReplaceAtomically(const std::string& text) {
  std::string temporary = std::string(kScoreFileName) + ".XXXXXX";
  int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), kScoreFileName) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  int directory = ::open(".", O_RDONLY | O_DIRECTORY);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return true;
}

// A save interrupted by a crash leaves its temporary file behind. Once a save has succeeded,
// those older than a minute go (a younger one may belong to another copy saving right now).
void RemoveStaleTemporaries() {
  const std::string prefix = std::string(kScoreFileName) + ".";
  std::error_code error;
  auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(".", error)) {
    std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::error_code entryError;
    if (!entry.is_regular_file(entryError)) continue;
    auto modified = entry.last_write_time(entryError);
    if (entryError || now - modified < std::chrono::minutes(1)) continue;
    std::filesystem::remove(entry.path(), entryError);
  }
}

// Where the directory refuses new files: rewrite the existing file in place.
void OverwriteInPlace(const std::string& text) {
  int fd = ::open(kScoreFileName, O_WRONLY | O_TRUNC);
  if (fd < 0) return;
  if (WriteAll(fd, text)) ::fsync(fd);
  ::close(fd);
}

}  // namespace

void LoadScoreFile() {
  Playfield& board = gameState.playfield;
  gameState.videoCapture = 0;
  gameState.pendingVideoCapture = 0;
  std::string content;
  if (ReadWholeFile(kScoreFileName, &content)) {
    ReadScoreFile(content, board);
  } else {
    ApplyScoreFileDefaults(board);
    EmptyScoreTable(board.localTable);
  }
  EmptyScoreTable(board.internetTable);
  board.scoresChanged = 0;
  if (board.internetScores) FetchInternetScores();
}

void SaveScoreFile() {
  const Playfield& board = gameState.playfield;
  if (!board.scoresChanged) return;
  std::string text = ScoreFileText(board);
  if (ReplaceAtomically(text)) {
    RemoveStaleTemporaries();
  } else {
    OverwriteInPlace(text);
  }
}

void ClearLocalScores() {
  EmptyScoreTable(gameState.playfield.localTable);
  gameState.playfield.scoresChanged = 1;
  DrawScoreList(true);
}
