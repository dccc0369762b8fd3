#include "scores/score_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "game/game.h"
#include "scores/internet_scores.h"
#include "scores/score_list.h"

namespace {

constexpr const char* kScoreFileName = "Scores.zorvik";
// A score file holds a few hundred bytes; nothing past this bound is read or kept.
constexpr size_t kMaxScoreFileBytes = size_t{1} << 20;
// The temporary file of a save is named so that no one would give a file of their own that name:
// the clean-up of those a crash left behind can then remove nothing else.
constexpr const char* kTemporaryPrefix = ".Scores.zorvik.kestrow-save-";
constexpr size_t kTemporarySuffixLength = 6;
constexpr int kMaxLinksFollowed = 40;

int OpenExisting(const char* path) {
  return ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// Reserves the blocks of the first `length` bytes without changing the file's size.
int Reserve(int fd, off_t length) {
  return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length);
}

// Reads at most `limit` bytes from `fd`, stopping at the end or at an error.
void ReadAtMost(int fd, size_t limit, std::string* content) {
  char buffer[4096];
  while (content->size() < limit) {
    ssize_t count = ::read(fd, buffer, std::min(sizeof buffer, limit - content->size()));
    if (count <= 0) return;
    content->append(buffer, static_cast<size_t>(count));
  }
}

// Only a regular file is a score file: a directory, a FIFO or a device reads as a missing file.
// Opening without blocking keeps a FIFO with no writer from holding the start-up.
bool ReadScoreFileContent(std::string* content) {
  int fd = ::open(kScoreFileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (regular) ReadAtMost(fd, kMaxScoreFileBytes, content);
  ::close(fd);
  return regular;
}

bool WriteAllAt(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = saveSystemCalls.writeAt(fd, text.data() + written, text.size() - written,
                                        static_cast<off_t>(written));
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

bool ReadAllAt(int fd, std::string* bytes) {
  size_t done = 0;
  while (done < bytes->size()) {
    ssize_t n = saveSystemCalls.readAt(fd, bytes->data() + done, bytes->size() - done,
                                       static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file a save replaces: the score file, or the file its symbolic links lead to, so that a
// link stays a link.
std::filesystem::path SaveTarget() {
  std::filesystem::path path = kScoreFileName;
  for (int hop = 0; hop < kMaxLinksFollowed; ++hop) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) break;
    std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = path.parent_path() / target;
  }
  return path;
}

std::filesystem::path DirectoryOf(const std::filesystem::path& file) {
  return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

void SyncDirectory(const std::filesystem::path& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Writes a temporary file beside the target and renames it over the target, so that an
// interrupted save leaves either the old file or the new one.
bool ReplaceAtomically(const std::filesystem::path& target, const std::string& text, mode_t mode) {
  std::string temporary =
      (DirectoryOf(target) / (kTemporaryPrefix + std::string(kTemporarySuffixLength, 'X')))
          .string();
  int fd = saveSystemCalls.makeTemporary(temporary.data());
  if (fd < 0) return false;
  bool written = ::fchmod(fd, mode) == 0 && WriteAllAt(fd, text) && saveSystemCalls.sync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || saveSystemCalls.rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncDirectory(DirectoryOf(target));
  return true;
}

// A save interrupted by a crash leaves its temporary file behind. Once a save has succeeded,
// those older than a minute go (a younger one may belong to another copy saving right now).
void RemoveStaleTemporaries(const std::filesystem::path& directory) {
  const std::string prefix = kTemporaryPrefix;
  std::error_code error;
  auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    std::string name = entry.path().filename().string();
    if (name.size() != prefix.size() + kTemporarySuffixLength || !name.starts_with(prefix)) {
      continue;
    }
    std::error_code entryError;
    if (!entry.is_regular_file(entryError)) continue;
    auto modified = entry.last_write_time(entryError);
    if (entryError || now - modified < std::chrono::minutes(1)) continue;
    std::filesystem::remove(entry.path(), entryError);
  }
}

// Puts back the bytes and the length the file had before a failed rewrite.
void RestoreOldBytes(int fd, const std::string& old) {
  WriteAllAt(fd, old);
  saveSystemCalls.truncate(fd, static_cast<off_t>(old.size()));
  saveSystemCalls.sync(fd);
}

// Rewrites the open regular file `fd`. The space for the new text is reserved before anything
// is written, so a full disk leaves the file untouched; any later failure puts the old bytes
// back.
bool RewriteInPlace(int fd, const std::string& text) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  if (static_cast<size_t>(status.st_size) > kMaxScoreFileBytes) return false;
  std::string old(static_cast<size_t>(status.st_size), '\0');
  if (!ReadAllAt(fd, &old)) return false;
  if (saveSystemCalls.reserve(fd, static_cast<off_t>(text.size())) != 0 && errno != EOPNOTSUPP) {
    return false;
  }
  if (WriteAllAt(fd, text) && saveSystemCalls.truncate(fd, static_cast<off_t>(text.size())) == 0 &&
      saveSystemCalls.sync(fd) == 0) {
    return true;
  }
  RestoreOldBytes(fd, old);
  return false;
}

// Where the directory refuses new files: rewrite the existing file in place.
bool OverwriteInPlace(const std::filesystem::path& target, const std::string& text) {
  int fd = saveSystemCalls.openExisting(target.c_str());
  if (fd < 0) return false;
  bool saved = RewriteInPlace(fd, text);
  ::close(fd);
  return saved;
}

mode_t NewFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

SaveSystemCalls saveSystemCalls = {::mkstemp, OpenExisting, ::pread, ::pwrite,
                                   Reserve,   ::ftruncate,  ::fsync, std::rename};

void LoadScoreFile() {
  Playfield& board = game.playfield;
  game.videoCapture = 0;
  game.pendingVideoCapture = 0;
  std::string content;
  if (ReadScoreFileContent(&content)) {
    ReadScoreFile(content, board);
  } else {
    ApplyScoreFileDefaults(board);
    EmptyScoreTable(board.localTable);
  }
  EmptyScoreTable(board.internetTable);
  board.scoresChanged = 0;
  if (board.internetScores) FetchInternetScoresOnceShown();
}

bool SaveScoreFile() {
  const Playfield& board = game.playfield;
  if (!board.scoresChanged) return true;
  std::filesystem::path target = SaveTarget();
  struct stat status;
  bool exists = ::stat(target.c_str(), &status) == 0;
  // Never write into or over a directory, a FIFO or a device, nor over a file its owner made
  // read-only (root could, but the owner asked otherwise).
  if (exists && (!S_ISREG(status.st_mode) || (status.st_mode & S_IWUSR) == 0)) return false;
  std::string text = ScoreFileText(board);
  if (ReplaceAtomically(target, text, exists ? status.st_mode & 07777 : NewFileMode())) {
    RemoveStaleTemporaries(DirectoryOf(target));
    return true;
  }
  return exists && OverwriteInPlace(target, text);
}

void ClearLocalScores() {
  EmptyScoreTable(game.playfield.localTable);
  game.playfield.scoresChanged = 1;
  DrawScoreList(true);
}
