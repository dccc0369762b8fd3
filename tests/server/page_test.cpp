// The page of the best times in a real browser (headless chromium) and the same rows as JSON.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "score_pages.h"
#include "server/server_process.h"
#include "support/replay_games.h"

namespace {

// Runs chromium headless on the address with extra arguments and returns its output.
std::string RunChromium(const std::string& arguments, const std::string& address) {
  char profile[] = "/tmp/kestrow-chromium-XXXXXX";
  if (!mkdtemp(profile)) return std::string();
  std::string command =
      std::string("timeout 30 chromium --headless --no-sandbox --disable-gpu --disable-quic ") +
      "--no-first-run --disable-background-networking --disable-component-update --disable-sync " +
      "--user-data-dir=" + profile + " " + arguments + " " + address + " 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, count);
    pclose(pipe);
  }
  std::error_code ignored;
  std::filesystem::remove_all(profile, ignored);
  return output;
}

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(Page, TheBestTimesShowInABrowserAndAsJson) {
  ServerProcess server;
  ASSERT_TRUE(StartScoreServer(&server, TemporaryDatabasePath(), {"--rate", "1000000"}));
  httplib::Client client("127.0.0.1", server.port);
  for (auto [name, time] : {std::pair<std::string, int32_t>{"Zo%E9", 30 * 256},
                            {"%3Cscript%3Ealert(1)%3C%2Fscript%3E", 40 * 256},
                            {"a%22b%5Cc+%26+d", 50 * 256 + 5},
                            {"Lent", 65536 + 256 + 7}}) {
    auto reply = client.Post("/public/index.php?a=KestrowRes", SubmissionBody(name, time),
                             "application/x-www-form-urlencoded");
    ASSERT_TRUE(reply);
    ASSERT_NE(reply->body, "0");
  }
  Replay game = PlayBotGame(5, kHumanPace);
  std::string verifiedTime = FormatPackedTime(PackedTimeOfStamp(PlayReplay(game).resultStamp));
  ASSERT_EQ(client
                .Post("/public/index.php?a=KestrowRes", ReplayBody("V%E9rifi%E9", game),
                      "application/x-www-form-urlencoded")
                ->body,
            "5");

  auto json = client.Get("/scores.json");
  ASSERT_TRUE(json);
  EXPECT_EQ(json->get_header_value("Content-Type"), "application/json");
  EXPECT_EQ(json->body,
            "[{\"rank\":1,\"name\":\"Zo\xC3\xA9\",\"time\":\"00:30:00\",\"verified\":false},"
            "{\"rank\":2,\"name\":\"<script>alert(1)</"
            "script>\",\"time\":\"00:40:00\",\"verified\":false},"
            "{\"rank\":3,\"name\":\"a\\\"b\\\\c & d\",\"time\":\"00:50:05\",\"verified\":false},"
            "{\"rank\":4,\"name\":\"Lent\",\"time\":\"01:01:07\",\"verified\":false},"
            "{\"rank\":5,\"name\":\"V\xC3\xA9rifi\xC3\xA9\",\"time\":\"" +
                verifiedTime + "\",\"verified\":true}]\n");

  std::string address = "http://127.0.0.1:" + std::to_string(server.port) + "/";
  std::string dom = RunChromium("--dump-dom", address);
  EXPECT_EQ(CountOf(dom, "<tr>"), 6u) << dom;  // the heading and five results
  EXPECT_EQ(CountOf(dom, "class=\"verifie\""), 1u) << dom;
  EXPECT_NE(dom.find("<td class=\"nom\">V\xC3\xA9rifi\xC3\xA9</td><td class=\"temps\">" +
                     verifiedTime + "<span class=\"verifie\""),
            std::string::npos)
      << dom;
  for (const char* row :
       {"<td class=\"rang\">1</td><td class=\"nom\">Zo\xC3\xA9</td><td "
        "class=\"temps\">00:30:00</td>",
        "<td class=\"rang\">2</td><td class=\"nom\">&lt;script&gt;alert(1)&lt;/script&gt;</td>",
        "<td class=\"nom\">a\"b\\c &amp; d</td><td class=\"temps\">00:50:05</td>",
        "<td class=\"rang\">4</td><td class=\"nom\">Lent</td><td class=\"temps\">01:01:07</td>"}) {
    EXPECT_NE(dom.find(row), std::string::npos) << row << "\n" << dom;
  }
  EXPECT_EQ(dom.find("<script"), std::string::npos) << dom;

  // A phone-sized screenshot, kept beside the test program for a person to look at.
  std::string screenshot = std::filesystem::absolute("scores-page.png");
  std::filesystem::remove(screenshot);
  RunChromium("--hide-scrollbars --window-size=412,640 --screenshot=" + screenshot, address);
  std::ifstream image(screenshot, std::ios::binary);
  std::string signature(8, '\0');
  image.read(signature.data(), 8);
  EXPECT_EQ(signature, "\x89PNG\r\n\x1A\n");
  StopScoreServer(server, SIGTERM);
}

}  // namespace
