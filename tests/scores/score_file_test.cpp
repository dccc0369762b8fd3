// The score file: reading rules, the bytes written, and when it is written.
#include "scores/score_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "base/cp1252.h"
#include "game/chronometer.h"
#include "game/rules.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "platform/windows.h"
#include "scores/ranking.h"
#include "scores/score_server_protocol.h"
#include "support/game_driver.h"

namespace {

constexpr const char* kEmptyRow = "|6513507\r\n";

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

Playfield ReadFile(const std::string& bytes) {
  Playfield board{};
  ReadScoreFile(bytes, board);
  return board;
}

TEST(ReadingRules, LineEndsAreCrLfCrLfOrNul) {
  for (std::string end :
       {std::string("\r\n"), std::string("\r"), std::string("\n"), std::string(1, '\0')}) {
    Playfield board = ReadFile("Anne" + end + "1|0|1|0" + end + "65|66|67|68|69|70" + end +
                               "Bob|300" + end + "Zoe|400");
    EXPECT_EQ(board.lastName, "Anne");
    EXPECT_EQ(board.soundsEnabled, 1);
    EXPECT_EQ(board.ghostEnabled, 0);
    EXPECT_EQ(board.pendingInternetScores, 1);
    EXPECT_EQ(board.keys.moveRight, 65);
    EXPECT_EQ(board.keys.moveDown, 70);
    EXPECT_EQ(board.localTable[0].name, "Bob");
    EXPECT_EQ(board.localTable[1].time, 400);
    EXPECT_EQ(board.localTable[2].time, kEmptySlotTime);
  }
  LineReader reader{"a\r\r\nb\n\rc", 0};
  EXPECT_EQ(ReadLine(reader), "a");
  EXPECT_EQ(ReadLine(reader), "");  // the lone CR ends an empty line; its LF goes with it
  EXPECT_EQ(ReadLine(reader), "b");
  EXPECT_EQ(ReadLine(reader), "");
  EXPECT_EQ(ReadLine(reader), "c");
  EXPECT_TRUE(AtEnd(reader));
  EXPECT_EQ(ReadLine(reader), "");
}

TEST(ReadingRules, FieldsAndLenientNumbers) {
  EXPECT_EQ(LineField("a|b|c", 1), "a");
  EXPECT_EQ(LineField("a|b|c", 3), "c");
  EXPECT_EQ(LineField("a|b|", 3), "");
  EXPECT_EQ(LineField("a", 2), "");
  EXPECT_EQ(LenientNumber("12abc"), 12);
  EXPECT_EQ(LenientNumber("abc"), 0);
  EXPECT_EQ(LenientNumber(" \t-42"), -42);
  EXPECT_EQ(LenientNumber("+7"), 7);
  EXPECT_EQ(LenientNumber(""), 0);
  EXPECT_EQ(LenientNumber("- 5"), 0);
  EXPECT_EQ(LenientNumber("99999999999"), static_cast<int32_t>(99999999999LL & 0xFFFFFFFF));
}

TEST(ReadingRules, SettingsKeepTheirLowEightBits) {
  Playfield board = ReadFile("x\r\n256|257|-1|2\r\n");
  EXPECT_EQ(board.soundsEnabled, 0);
  EXPECT_EQ(board.ghostEnabled, 1);
  EXPECT_EQ(board.internetScores, 1);
  EXPECT_EQ(board.opaqueBackground, 1);
  board = ReadFile("x\r\n0\r\n");
  EXPECT_EQ(
      board.soundsEnabled + board.ghostEnabled + board.internetScores + board.opaqueBackground, 0);
}

TEST(ReadingRules, ShortAndLongFilesAndRowsAsTheyStand) {
  Playfield board = ReadFile("");
  EXPECT_EQ(board.lastName, "");
  EXPECT_EQ(board.keys.moveRight, 0);
  EXPECT_EQ(board.soundsEnabled, 0);
  EXPECT_EQ(board.localTable[0].time, kEmptySlotTime);

  std::string rows;
  for (int i = 0; i < 20; ++i)
    rows += "P" + std::to_string(i) + "|" + std::to_string(900 - i) + "\r\n";
  board = ReadFile("x\r\n1|1|1|1\r\n1|2|3|4|5|6\r\n" + rows);
  EXPECT_EQ(board.localTable[0].name, "P0");
  EXPECT_EQ(board.localTable[0].time, 900);  // not sorted
  EXPECT_EQ(board.localTable[15].name, "P15");

  board = ReadFile("x\r\n\r\n\r\nNoBar\r\n|77\r\na|b|c\r\n");
  EXPECT_EQ(board.localTable[0].name, "NoBar");
  EXPECT_EQ(board.localTable[0].time, 0);
  EXPECT_EQ(board.localTable[1].name, "");
  EXPECT_EQ(board.localTable[1].time, 77);
  EXPECT_EQ(board.localTable[2].name, "a");
  EXPECT_EQ(board.localTable[2].time, 0);
  EXPECT_EQ(board.localTable[3].time, kEmptySlotTime);
}

TEST(ReadingRules, NamesAreCutToTheLengthAPlayerCanType) {
  const std::string longName(kMaxNameLength + 8, 'a');
  Playfield board = ReadFile(longName + "\r\n1|1|1|1\r\n1|2|3|4|5|6\r\n" + longName + "|300\r\n");
  EXPECT_EQ(board.lastName, longName.substr(0, kMaxNameLength));
  EXPECT_EQ(board.localTable[0].name, longName.substr(0, kMaxNameLength));
  EXPECT_EQ(board.localTable[0].time, 300);
}

TEST(ScoreTableOrder, InsertResult) {
  ScoreTable table;
  EmptyScoreTable(table);
  InsertResult(table, "A", 500);
  InsertResult(table, "B", 500);  // ties go above
  InsertResult(table, "", 100);   // an empty name is stored
  EXPECT_EQ(table[0].name, "");
  EXPECT_EQ(table[1].name, "B");
  EXPECT_EQ(table[2].name, "A");
  InsertResult(table, "Late", kEmptySlotTime + 1);  // 100 minutes or more
  for (const ScoreEntry& entry : table) EXPECT_NE(entry.name, "Late");
  InsertResult(table, "Edge", kEmptySlotTime);
  EXPECT_EQ(table[3].name, "Edge");

  for (int i = 0; i < kScoreRows; ++i) table[i] = {"R" + std::to_string(i), 1000 + i};
  InsertResult(table, "Slow", 2000);
  EXPECT_EQ(table[15].name, "R15");
  InsertResult(table, "Fast", 10);
  EXPECT_EQ(table[0].name, "Fast");
  EXPECT_EQ(table[1].name, "R0");
  EXPECT_EQ(table[15].name, "R14");
}

// Wins the running game at once: 1990 points and one row to clear with a vertical I.
void WinNow() {
  Playfield& board = game.playfield;
  board.score = 1990;
  for (int column = 0; column < kColumns; ++column) board.cells[column] = column == 4 ? 0 : 3;
  board.nextPieceId = 1;
  SpawnPiece();
  HandleGameKey(board.keys.drop);
}

TEST(ScoreFile, WonGameWritesTheNineteenLines) {
  RunGame({[] { ClickButton(1); },
           [] {
             HeadlessQueuePromptAnswer("Joueur");
             game.clock.startTick = PlatformTickCount() - 83456;
             UpdateChronometer();
             WinNow();
             ASSERT_EQ(game.playfield.resultTime, 71469);
           },
           [] { ClickButton(5); }});
  std::string bytes;
  ASSERT_TRUE(ReadScoreFileBytes(&bytes));
  EXPECT_EQ(bytes,
            "Joueur\r\n1|1|1|0\r\n39|37|38|17|40|16\r\nJoueur|71469\r\n" + Repeat(kEmptyRow, 15));
}

TEST(ScoreFile, MissingFileStaysMissingAndUnchangedFileStaysIdentical) {
  RunGame({[] { ClickButton(5); }});
  std::string bytes;
  EXPECT_FALSE(ReadScoreFileBytes(&bytes));

  std::string prepared = "Zoe\r0|1|0|1\r1|2|3|4|5|6\rAl|300\rBea|400\r";
  PrepareScoreFile(prepared);
  RunGame({[] {
    EXPECT_EQ(game.playfield.localTable[1].name, "Bea");
    EXPECT_EQ(game.playfield.opaqueBackground, 1);
    ClickButton(5);
  }});
  ASSERT_TRUE(ReadScoreFileBytes(&bytes));
  EXPECT_EQ(bytes, prepared);
}

TEST(ScoreFile, ClearingTheListAsksThenWritesEmptyRows) {
  std::string prepared = "Zoe\r\n1|0|0|1\r\n1|2|3|4|5|6\r\nAl|300\r\n";
  PrepareScoreFile(prepared);
  RunGame({[] {
             HeadlessQueueAnswer(IDNO);
             ClickButton(2);
           },
           [] {
             ASSERT_EQ(HeadlessDialogs().size(), 1u);
             EXPECT_EQ(HeadlessDialogs()[0].title, "Confirmation");
             EXPECT_EQ(HeadlessDialogs()[0].text,
                       Utf8ToCp1252("Êtes-vous sûrs de vouloir effacer la liste des scores ?"));
             EXPECT_EQ(game.playfield.localTable[0].name, "Al");
             EXPECT_FALSE(game.playfield.scoresChanged);
             HeadlessQueueAnswer(IDYES);
             ClickButton(2);
           },
           [] {
             EXPECT_EQ(game.playfield.localTable[0].name, "");
             HeadlessCloseRequest();  // the window manager's close also saves
           }});
  std::string bytes;
  ASSERT_TRUE(ReadScoreFileBytes(&bytes));
  EXPECT_EQ(bytes, "Zoe\r\n1|0|0|1\r\n1|2|3|4|5|6\r\n" + Repeat(kEmptyRow, 16));
}

TEST(ScoreFile, EmptyFileIsNotAMissingOne) {
  PrepareScoreFile("");
  RunGame({[] {
    const Playfield& board = game.playfield;
    EXPECT_EQ(board.soundsEnabled + board.ghostEnabled + board.internetScores, 0);
    EXPECT_EQ(board.keys.rotateRight, 0);
  }});
  RunGame({[] {
    const Playfield& board = game.playfield;
    EXPECT_EQ(board.soundsEnabled + board.ghostEnabled + board.internetScores, 3);
    EXPECT_EQ(board.opaqueBackground, 0);
    EXPECT_EQ(board.keys.rotateRight, VK_UP);
  }});
}

void ExpectDefaultsLoaded() {
  const Playfield& board = game.playfield;
  EXPECT_EQ(board.soundsEnabled + board.ghostEnabled + board.internetScores, 3);
  EXPECT_EQ(board.opaqueBackground, 0);
  EXPECT_EQ(board.keys.moveRight, VK_RIGHT);
  EXPECT_EQ(board.keys.moveDown, VK_SHIFT);
}

// The file type of `path` itself, links not followed.
mode_t FileType(const char* path) {
  struct stat status {};
  ::lstat(path, &status);
  return status.st_mode & S_IFMT;
}

// A directory, a FIFO or a device in place of the score file loads the defaults without blocking
// or reading without end, and a save neither writes into it nor replaces it.
TEST(ScoreFile, OnlyARegularFileIsReadOrReplaced) {
  struct Case {
    const char* kind;
    int (*make)();
    bool save;  // never tried over a device: a faulty save would replace it
  };
  const Case cases[] = {
      {"directory", [] { return ::mkdir("Scores.zorvik", 0755); }, true},
      {"FIFO", [] { return ::mkfifo("Scores.zorvik", 0644); }, true},
      {"link to a FIFO", [] { return ::mkfifo("fifo", 0644) | ::symlink("fifo", "Scores.zorvik"); },
       true},
      {"link to /dev/zero", [] { return ::symlink("/dev/zero", "Scores.zorvik"); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    PrepareScoreFile("");
    std::remove("Scores.zorvik");
    ASSERT_EQ(c.make(), 0);
    const mode_t type = FileType("Scores.zorvik");
    RunGame({ExpectDefaultsLoaded});
    if (c.save) {
      game.playfield.scoresChanged = 1;
      EXPECT_FALSE(SaveScoreFile());
      EXPECT_EQ(FileType("Scores.zorvik"), type);
      EXPECT_EQ(FileType("fifo"), c.make == cases[2].make ? S_IFIFO : 0);
    }
    std::remove("Scores.zorvik");
    std::remove("fifo");
  }
}

TEST(ScoreFile, ReadingStopsAtOneMebibyte) {
  PrepareScoreFile(std::string(1 << 20, 'a') + "\r\n1|1|1|1\r\n");
  RunGame({[] {
    EXPECT_EQ(game.playfield.lastName, std::string(kMaxNameLength, 'a'));
    EXPECT_EQ(game.playfield.soundsEnabled, 0);  // line 2 lies past the bound
  }});
  std::remove("Scores.zorvik");
}

// A link stays a link: the file it leads to takes the new bytes and keeps its permissions.
TEST(ScoreFile, SavesThroughALinkKeepingTheFileMode) {
  ASSERT_EQ(::mkdir("linked", 0755), 0);
  std::ofstream("linked/scores") << "old";
  ASSERT_EQ(::chmod("linked/scores", 0640), 0);
  PrepareScoreFile("");
  std::remove("Scores.zorvik");
  ASSERT_EQ(::symlink("linked/scores", "Scores.zorvik"), 0);
  game.playfield.lastName = "Lien";
  game.playfield.scoresChanged = 1;
  EXPECT_TRUE(SaveScoreFile());
  EXPECT_EQ(FileType("Scores.zorvik"), S_IFLNK);
  std::string bytes;
  ASSERT_TRUE(ReadScoreFileBytes(&bytes));
  EXPECT_EQ(bytes, ScoreFileText(game.playfield));
  struct stat status {};
  ASSERT_EQ(::stat("linked/scores", &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  std::remove("Scores.zorvik");
  std::remove("linked/scores");
  ::rmdir("linked");
}

// Even root keeps its hands off a file its owner made read-only; the player hears of it once.
TEST(ScoreFile, ReadOnlyFileIsKeptAndThePlayerTold) {
  const std::string prepared = "Zoe\r\n1|0|0|1\r\n1|2|3|4|5|6\r\nAl|300\r\n";
  PrepareScoreFile(prepared);
  ASSERT_EQ(::chmod("Scores.zorvik", 0444), 0);
  RunGame({[] {
    HeadlessQueueAnswer(IDYES);
    ClickButton(2);
  }});
  std::string bytes;
  ASSERT_TRUE(ReadScoreFileBytes(&bytes));
  EXPECT_EQ(bytes, prepared);
  int told = 0;
  for (const HeadlessDialog& dialog : HeadlessDialogs()) {
    if (dialog.title != "Kestrow") continue;
    ++told;
    EXPECT_EQ(dialog.text, Utf8ToCp1252("Les scores n'ont pas pu être enregistrés."));
    EXPECT_EQ(dialog.style, MB_OK | MB_ICONWARNING);
  }
  EXPECT_EQ(told, 1);
  std::remove("Scores.zorvik");
}

}  // namespace
