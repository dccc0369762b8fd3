// Killing the game at any moment of a save leaves the score file as it was before that save or
// as it is after it, never a mixture. save_loop rewrites the file between two contents without
// pause; this test kills it with SIGKILL at random moments and reads what is left.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kScoreFile = "Scores.zorvik";
// How the game names the temporary file of a save: no one would name a file of their own so.
constexpr const char* kTemporaryPrefix = ".Scores.zorvik.kestrow-save-";
constexpr int kKills = 200;
constexpr int kLongestDelayUs = 20000;

struct Child {
  pid_t pid;
  int output;  // read end of its standard output
};

// Starts save_loop in `directory`, with `argument` when not null.
Child StartSaveLoop(const std::string& directory, const char* argument) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return {-1, -1};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(ends[1], STDOUT_FILENO);
    if (::chdir(directory.c_str()) == 0) {
      ::execl(KESTROW_SAVE_LOOP_BINARY, "save_loop", argument, static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }
  ::close(ends[1]);
  return {pid, ends[0]};
}

// The exit status of `child` after it ended, its pipe closed.
int Reap(const Child& child) {
  int status = 0;
  ::waitpid(child.pid, &status, 0);
  ::close(child.output);
  return status;
}

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *bytes = content.str();
  return true;
}

// The names in `directory` other than the score file.
std::vector<std::string> OtherEntries(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != ".." && name != kScoreFile) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

// Saves content `which` ("a" or "b") once in `directory` and returns the file's bytes.
std::string SavedOnce(const std::string& directory, const char* which) {
  int status = Reap(StartSaveLoop(directory, which));
  std::string bytes;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return bytes;
  ReadFile(directory + "/" + kScoreFile, &bytes);
  return bytes;
}

// Waits up to five seconds for the loop's "r": its first save is done and the next has begun.
bool LoopRuns(const Child& child) {
  pollfd ready{child.output, POLLIN, 0};
  char byte = 0;
  return ::poll(&ready, 1, 5000) == 1 && ::read(child.output, &byte, 1) == 1 && byte == 'r';
}

void RemoveDirectory(const std::string& directory) {
  for (const std::string& name : OtherEntries(directory)) {
    std::remove((directory + "/" + name).c_str());
  }
  std::remove((directory + "/" + kScoreFile).c_str());
  ::rmdir(directory.c_str());
}

TEST(CrashSafety, KilledSavesLeaveTheOldFileOrTheNewOne) {
  char pattern[] = "crash-save-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string directory = pattern;

  const std::string stateB = SavedOnce(directory, "b");
  const std::string stateA = SavedOnce(directory, "a");
  ASSERT_FALSE(stateA.empty());
  ASSERT_FALSE(stateB.empty());
  ASSERT_NE(stateA, stateB);
  ASSERT_TRUE(OtherEntries(directory).empty())
      << "a completed save left " << OtherEntries(directory)[0];

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("random seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delayUs(0, kLongestDelayUs);
  int endedAsA = 0;
  int endedAsB = 0;
  int leftTemporary = 0;
  for (int round = 0; round < kKills; ++round) {
    SCOPED_TRACE("kill " + std::to_string(round));
    Child child = StartSaveLoop(directory, nullptr);
    ASSERT_GT(child.pid, 0);
    bool runs = LoopRuns(child);
    if (runs) std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    ::kill(child.pid, SIGKILL);
    int status = Reap(child);
    ASSERT_TRUE(runs) << "save_loop did not start";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

    std::string bytes;
    ASSERT_TRUE(ReadFile(directory + "/" + kScoreFile, &bytes)) << "the score file is gone";
    ASSERT_TRUE(bytes == stateA || bytes == stateB) << "the file holds neither state:\n" << bytes;
    (bytes == stateA ? endedAsA : endedAsB)++;

    // An interrupted save may leave its own temporary file, and nothing else.
    std::vector<std::string> others = OtherEntries(directory);
    ASSERT_LE(others.size(), 1u);
    for (const std::string& name : others) {
      ASSERT_EQ(name.rfind(kTemporaryPrefix, 0), 0u) << "unexpected file " << name;
      std::remove((directory + "/" + name).c_str());
      ++leftTemporary;
    }
  }
  std::printf("%d kills: file left as A %d times, as B %d times; %d stale temporary files\n",
              kKills, endedAsA, endedAsB, leftTemporary);
  // Both outcomes seen: the kills fell at different points of the loop, not all before it.
  EXPECT_GT(endedAsA, 0);
  EXPECT_GT(endedAsB, 0);
  RemoveDirectory(directory);
}

// Crashed saves leave temporary files; the next save removes those older than a minute, and
// no file of the player's, whatever its name.
TEST(CrashSafety, ASaveRemovesOnlyItsOwnStaleTemporaryFiles) {
  char pattern[] = "stale-temporaries-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string directory = pattern;
  auto create = [&](const std::string& name, std::chrono::minutes age) {
    std::string path = directory + "/" + name;
    std::ofstream(path) << "partial";
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - age);
  };
  const std::string stale = std::string(kTemporaryPrefix) + "a1B2c3";
  std::vector<std::string> kept = {std::string(kTemporaryPrefix) + "d4E5f6"};  // saving right now
  for (const char* suffix : {".backup", ".bak", ".old", ".XXXXXX", ".a1B2c3"}) {
    kept.push_back(kScoreFile + std::string(suffix));
  }
  create(stale, std::chrono::minutes(2));
  create(kept[0], std::chrono::minutes(0));
  for (size_t i = 1; i < kept.size(); ++i) create(kept[i], std::chrono::minutes(2));
  ASSERT_FALSE(SavedOnce(directory, "a").empty());
  std::vector<std::string> left = OtherEntries(directory);
  std::sort(left.begin(), left.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(left, kept);
  RemoveDirectory(directory);
}

}  // namespace
