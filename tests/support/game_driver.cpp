#include "support/game_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "shell/startup.h"

namespace {

constexpr const char* kScoreFile = "Scores.zorvik";

// Moves the test program into its own empty directory before any test runs.
const bool inTemporaryDirectory = [] {
  char pattern[] = "/tmp/kestrow-test-XXXXXX";
  return mkdtemp(pattern) != nullptr && chdir(pattern) == 0;
}();

bool scoreFilePrepared = false;

}  // namespace

void PrepareScoreFile(const std::string& bytes) {
  std::ofstream(kScoreFile, std::ios::binary) << bytes;
  scoreFilePrepared = true;
}

bool ReadScoreFileBytes(std::string* bytes) {
  std::ifstream file(kScoreFile, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *bytes = content.str();
  return true;
}

void RunGame(const std::vector<GameStep>& steps) {
  if (!inTemporaryDirectory) std::abort();
  if (!scoreFilePrepared) std::remove(kScoreFile);
  scoreFilePrepared = false;
  HeadlessReset();
  size_t next = 0;
  HeadlessSetIdle([&]() {
    if (next == steps.size()) return false;
    steps[next++]();
    return true;
  });
  RunKestrow();
  HeadlessSetIdle(nullptr);
  // The GTK backend shows only the area a push announces as changed: a drawing that reaches
  // outside it would leave the screen stale.
  EXPECT_EQ(HeadlessChangesOutsideTheirArea(), 0) << "pushes changed pixels outside their area";
}

int ButtonX() {
  return 353 + 101;
}
int ButtonY(int id) {
  return 442 + 22 * (id - 1) + 10;
}

void ClickButton(int id) {
  HeadlessClick(ButtonX(), ButtonY(id));
}

uint32_t ScreenPixel(int x, int y) {
  return HeadlessPixel(HeadlessMainWindow(), x, y);
}

int CellScreenX(int column) {
  return 31 + 29 * column;
}
int CellScreenY(int row) {
  return 24 + 29 * (17 - row);
}
