// A recording whose file cannot be completed (a full disk) ends in one warning, whatever closes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "support/game_driver.h"
#include "video/video_recorder.h"

namespace {

TEST(VideoClose, AFileLeftIncompleteIsToldOnce) {
  struct Ending {
    const char* name;
    std::function<void()> end;
  };
  const Ending endings[] = {
      {"the tail ends",
       [] {
         StopVideoRecording();
         HeadlessAdvance(2000);
       }},
      {"the program quits",
       [] {
         HeadlessPressKey(VK_ESCAPE, 27);
         ClickButton(5);
       }},
  };
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.name);
    // Every write to the file fails for want of room.
    std::filesystem::remove_all("Kestrow.avi");
    std::filesystem::create_symlink("/dev/full", "Kestrow.avi");
    PrepareScoreFile("Ann\r\n0|1|0|0\r\n39|37|38|17|40|16\r\n");
    RunGame({[] {
               game.videoCapture = 1;
               ClickButton(1);
             },
             [&] {
               ASSERT_NE(videoRecorder.file, nullptr);
               HeadlessAdvance(2000);
               EXPECT_TRUE(HeadlessDialogs().empty());
               ending.end();
             }});
    ASSERT_EQ(HeadlessDialogs().size(), 1u);
    EXPECT_EQ(HeadlessDialogs()[0].title, "Avertissement");
    EXPECT_EQ(HeadlessDialogs()[0].text,
              Utf8ToCp1252("La vidéo n'a pas pu être enregistrée entièrement."));
    EXPECT_EQ(HeadlessDialogs()[0].style, MB_OK | MB_ICONWARNING);
  }
  std::filesystem::remove("Kestrow.avi");
}

}  // namespace
