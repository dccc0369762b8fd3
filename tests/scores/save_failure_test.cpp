// A save that fails at any point, or on a full disk, leaves the score file with its old bytes or
// its new ones, never a mixture, and SaveScoreFile says which.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "scores/score_file.h"
#include "support/game_driver.h"

namespace {

constexpr const char* kScoreFile = "Scores.zorvik";

// --- One failing system call -------------------------------------------------------------------

// The calls of the save under test, in order, and the one (counted from 0) that fails.
struct FaultPlan {
  SaveSystemCalls real;
  int failingCall;
  bool refuseTemporary;  // the directory takes no new file
  std::vector<std::string> calls;
};
FaultPlan plan;

bool FailsNow(const char* name) {
  plan.calls.push_back(name);
  if (static_cast<int>(plan.calls.size()) - 1 != plan.failingCall) return false;
  errno = ENOSPC;
  return true;
}

int MakeTemporary(char* pattern) {
  if (plan.refuseTemporary) {
    errno = EACCES;
    return -1;
  }
  return FailsNow("makeTemporary") ? -1 : plan.real.makeTemporary(pattern);
}
int OpenExisting(const char* path) {
  return FailsNow("openExisting") ? -1 : plan.real.openExisting(path);
}
ssize_t ReadAt(int fd, void* data, size_t size, off_t offset) {
  return FailsNow("readAt") ? -1 : plan.real.readAt(fd, data, size, offset);
}
// A failing write has already changed half of what it was given.
ssize_t WriteAt(int fd, const void* data, size_t size, off_t offset) {
  if (!FailsNow("writeAt")) return plan.real.writeAt(fd, data, size, offset);
  plan.real.writeAt(fd, data, size / 2, offset);
  errno = ENOSPC;
  return -1;
}
int Reserve(int fd, off_t length) {
  return FailsNow("reserve") ? -1 : plan.real.reserve(fd, length);
}
int Truncate(int fd, off_t length) {
  return FailsNow("truncate") ? -1 : plan.real.truncate(fd, length);
}
int Sync(int fd) {
  return FailsNow("sync") ? -1 : plan.real.sync(fd);
}
int Rename(const char* from, const char* to) {
  return FailsNow("rename") ? -1 : plan.real.rename(from, to);
}

std::set<std::string> DirectoryEntries(const char* path) {
  std::set<std::string> names;
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) names.insert(entry->d_name);
  ::closedir(dir);
  return names;
}

// Whether every call named `first` comes before every call named `second`, both made.
bool AllBefore(const std::vector<std::string>& calls, const std::string& first,
               const std::string& second) {
  auto lastFirst = std::find(calls.rbegin(), calls.rend(), first);
  auto firstSecond = std::find(calls.begin(), calls.end(), second);
  return lastFirst != calls.rend() && firstSecond != calls.end() &&
         lastFirst.base() - 1 < firstSecond;
}

// Saves the board over a file holding `old`, with call `failingCall` failing.
bool SaveWithFault(const std::string& old, int failingCall, bool refuseTemporary) {
  PrepareScoreFile(old);
  plan.failingCall = failingCall;
  plan.refuseTemporary = refuseTemporary;
  plan.calls.clear();
  game.playfield.scoresChanged = 1;
  saveSystemCalls = {MakeTemporary, OpenExisting, ReadAt, WriteAt, Reserve, Truncate, Sync, Rename};
  bool saved = SaveScoreFile();
  saveSystemCalls = plan.real;
  return saved;
}

TEST(FailingSave, AnyOneFailingCallLeavesTheOldBytesOrTheNewOnes) {
  plan.real = saveSystemCalls;
  game.playfield.lastName = "Nouveau";
  EmptyScoreTable(game.playfield.localTable);
  game.playfield.localTable[0] = {"Nouveau", 71469};
  const std::string text = ScoreFileText(game.playfield);
  PrepareScoreFile("");
  // Longer and shorter than the new text: a rewrite in place must both cut and restore a tail.
  for (const std::string& old : {std::string(600, 'o'), std::string("Ancien\r\n")}) {
    for (bool refuseTemporary : {false, true}) {
      SCOPED_TRACE(std::string(refuseTemporary ? "in place, " : "by rename, ") + "old file of " +
                   std::to_string(old.size()) + " bytes");
      const std::set<std::string> before = DirectoryEntries(".");
      for (int failingCall = 0;; ++failingCall) {
        SCOPED_TRACE("call " + std::to_string(failingCall) + " fails");
        bool saved = SaveWithFault(old, failingCall, refuseTemporary);
        std::string bytes;
        ASSERT_TRUE(ReadScoreFileBytes(&bytes));
        ASSERT_EQ(bytes, saved ? text : old) << "saved: " << saved;
        ASSERT_EQ(DirectoryEntries("."), before) << "a failed save left a file behind";
        if (failingCall < static_cast<int>(plan.calls.size())) continue;
        ASSERT_TRUE(saved) << "no call failed, yet the save did not happen";
        break;
      }
      // The calls of a save without failure: the data reaches the disk before it takes the
      // file's place, and the space of an in-place rewrite is secured before a byte changes.
      const std::vector<std::string>& calls = plan.calls;
      if (refuseTemporary) {
        EXPECT_TRUE(AllBefore(calls, "reserve", "writeAt"));
      } else {
        EXPECT_TRUE(AllBefore(calls, "writeAt", "sync"));
        EXPECT_TRUE(AllBefore(calls, "sync", "rename"));
      }
    }
  }
  std::remove(kScoreFile);
}

// --- A real full disk --------------------------------------------------------------------------

enum FullDiskOutcome { kAsExpected, kNeitherOldNorNew, kWrongReport, kOtherOutcome, kNoMount };

// Fills the file system of the current directory to its last block.
void FillDisk() {
  int fd = ::open("filler", O_WRONLY | O_CREAT, 0600);
  std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  ::close(fd);
}

// In a mount namespace of its own, with a 64 KiB tmpfs on `mountPoint` filled to the last block,
// saves a board whose last name is `nameLength` bytes long over a file of `oldLength` bytes.
FullDiskOutcome SaveOnFullDisk(const char* mountPoint, size_t oldLength, size_t nameLength,
                               bool expectSaved) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", mountPoint, "tmpfs", 0, "size=64k") != 0 || ::chdir(mountPoint) != 0) {
    return kNoMount;
  }
  const std::string old(oldLength, 'o');
  PrepareScoreFile(old);
  FillDisk();
  game.playfield.lastName = std::string(nameLength, 'n');
  game.playfield.scoresChanged = 1;
  const std::string text = ScoreFileText(game.playfield);
  bool saved = SaveScoreFile();
  std::string bytes;
  ReadScoreFileBytes(&bytes);
  if (bytes != old && bytes != text) return kNeitherOldNorNew;
  if (saved != (bytes == text)) return kWrongReport;
  return saved == expectSaved ? kAsExpected : kOtherOutcome;
}

TEST(FailingSave, FullDiskKeepsTheOldFileOrWritesTheNewOneWhole) {
  struct Case {
    size_t oldLength;
    size_t nameLength;
    bool saved;  // the new text fits in the old file's block, or needs one more
  };
  const char* outcomes[] = {"as expected", "neither old nor new bytes", "a wrong report",
                            "the other outcome"};
  for (const Case& c : {Case{4090, 4100, false}, Case{4090, 3000, true}}) {
    SCOPED_TRACE("old file " + std::to_string(c.oldLength) + " bytes, name " +
                 std::to_string(c.nameLength));
    char mountPoint[] = "full-disk-XXXXXX";
    ASSERT_NE(::mkdtemp(mountPoint), nullptr);
    pid_t child = ::fork();
    if (child == 0) ::_exit(SaveOnFullDisk(mountPoint, c.oldLength, c.nameLength, c.saved));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::rmdir(mountPoint);
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    int outcome = WEXITSTATUS(status);
    if (outcome == kNoMount) GTEST_SKIP() << "mounting a tmpfs needs root";
    ASSERT_LT(outcome, kNoMount);
    EXPECT_EQ(outcome, kAsExpected) << outcomes[outcome];
  }
}

}  // namespace
