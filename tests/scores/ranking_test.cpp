// The end of a won game: the name prompt, the local ranking, and the score list on screen.
#include "scores/ranking.h"

#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "scores/score_list.h"
#include "scores/score_server_protocol.h"
#include "support/board_helpers.h"

namespace {

TEST(Ranking, PromptOffersTheLastNameAndEntersTheResult) {
  PrepareScoreFile("Ann\r\n1|1|0|0\r\n39|37|38|17|40|16\r\nBob|10000\r\n");
  RunGame({[] { ClickButton(1); },
           [] {
             HeadlessQueuePromptAnswer("Cy|d\r\n");
             WinAt(5000);
             ASSERT_EQ(HeadlessPrompts().size(), 1u);
             const HeadlessPrompt& prompt = HeadlessPrompts()[0];
             EXPECT_EQ(prompt.title, "Kestrow");
             EXPECT_EQ(prompt.prompt, "Saisissez votre nom/pseudonyme :");
             EXPECT_EQ(prompt.defaultText, "Ann");
             EXPECT_EQ(prompt.maxLength, kMaxNameLength);
             EXPECT_TRUE(HeadlessDialogs().empty());  // no server message with internet off
             EXPECT_EQ(Board().lastName, "Cyd");
             EXPECT_EQ(Board().localTable[0].name, "Cyd");
             EXPECT_EQ(Board().localTable[0].time, 5 * 256);
             EXPECT_EQ(Board().localTable[1].name, "Bob");
             EXPECT_TRUE(Board().scoresChanged);
             EXPECT_GT(InkIn(356, 173, 490, 189), 0);  // the new first row is drawn
           }});
}

TEST(Ranking, EscapeEntersAnUnnamedResultThatLeavesAGap) {
  PrepareScoreFile("Ann\r\n1|1|0|0\r\n39|37|38|17|40|16\r\nBob|10000\r\n");
  RunGame({[] { ClickButton(1); },
           [] {
             HeadlessQueuePromptAnswer("");
             WinAt(2000);
             EXPECT_EQ(Board().lastName, "");
             EXPECT_EQ(Board().localTable[0].name, "");
             EXPECT_EQ(Board().localTable[1].name, "Bob");
             EXPECT_EQ(InkIn(356, 173, 560, 189), 0);  // row 0 shows nothing
             EXPECT_GT(InkIn(356, 189, 560, 205), 0);  // Bob stays on row 1
           },
           [] { ClickButton(1); },
           [] {
             WinAt(3000);
             EXPECT_EQ(HeadlessPrompts().back().defaultText, "");
           }});
}

TEST(Ranking, ResultSlowerThanTheTableStillCountsAsAChange) {
  std::string rows;
  for (int i = 0; i < kScoreRows; ++i)
    rows += "P" + std::to_string(i) + "|" + std::to_string(100 + i) + "\r\n";
  PrepareScoreFile("Ann\r\n0|1|0|0\r\n39|37|38|17|40|16\r\n" + rows);
  RunGame({[] { ClickButton(1); },
           [] {
             HeadlessQueuePromptAnswer("Zed");
             WinAt(60000);
             EXPECT_EQ(Board().localTable[15].name, "P15");
             EXPECT_EQ(Board().lastName, "Zed");
             EXPECT_TRUE(Board().scoresChanged);
           }});
}

TEST(Ranking, InternetBranchWithoutServerReportsTheTransmissionProblem) {
  PrepareScoreFile("Ann\r\n1|1|1|0\r\n39|37|38|17|40|16\r\n");
  RunGame({[] { ClickButton(1); },
           [] {
             WinAt(2000);
             ASSERT_EQ(HeadlessDialogs().size(), 1u);
             EXPECT_EQ(HeadlessDialogs()[0].title, Utf8ToCp1252("Problème!!!"));
             EXPECT_EQ(HeadlessDialogs()[0].text,
                       Utf8ToCp1252("Problème de transmission avec le serveur."));
             EXPECT_EQ(Board().localTable[0].name, "Ann");
           }});
}

TEST(Ranking, NamesCannotBreakTheFile) {
  EXPECT_EQ(CleanPlayerName(std::string("a|b\rc\nd\0e", 9)), "abcde");
  EXPECT_EQ(CleanPlayerName(std::string(40, 'x')), std::string(kMaxNameLength, 'x'));
  EXPECT_EQ(CleanPlayerName(Utf8ToCp1252("Zoé")), "Zo\xE9");
}

TEST(ScoreList, RowsTimesAndCuts) {
  std::string file = "x\r\n1|1|0|0\r\n39|37|38|17|40|16\r\n";
  file += "Short|" + std::to_string(5 * 65536 + 7 * 256 + 9) + "\r\n";
  file += "|500\r\n";
  file += "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW|" + std::to_string(100 * 65536 + 2 * 256 + 3) + "\r\n";
  PrepareScoreFile(file);
  RunGame({[] {
    EXPECT_GT(InkIn(356, 173, 400, 189), 0);  // "Short"
    EXPECT_GT(InkIn(490, 173, 560, 189), 0);  // 05:07:09
    EXPECT_EQ(InkIn(356, 189, 560, 205), 0);  // the unnamed row is a gap
    EXPECT_GT(InkIn(356, 205, 490, 221), 0);  // the long name, cut at its box
    EXPECT_GT(InkIn(470, 205, 489, 221), 0);  // it runs to the end of its box
    EXPECT_EQ(InkIn(356, 221, 560, 240), 0);  // and does not wrap onto the next row
  }});
}

TEST(ScoreList, InternetOnShowsTheInternetTable) {
  PrepareScoreFile("x\r\n1|1|1|0\r\n39|37|38|17|40|16\r\nLocal|500\r\n");
  RunGame({[] {
    EXPECT_EQ(InkIn(356, 173, 560, 189), 0);  // the internet table is empty
    Board().internetScores = 0;
    DrawScoreList(true);
    EXPECT_GT(InkIn(356, 173, 560, 189), 0);
  }});
}

}  // namespace
