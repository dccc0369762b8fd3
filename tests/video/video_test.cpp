// Recording games to Kestrow.avi, checked with ffprobe and by decoding the file with FFmpeg.
#include <gtest/gtest.h>

#include "video/video_recorder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "platform/windows.h"
#include "support/board_helpers.h"

namespace {

constexpr const char* kVideoFile = "Kestrow.avi";
constexpr int kFrameBytes = kVideoFrameSize * kVideoFrameRowBytes;

using Frame = std::vector<uint8_t>;  // 24-bit blue, green, red, top row first

VideoRecorder& Video() {
  return videoRecorder;
}

// A new run without sounds or internet scores, and no video from an earlier test.
void PrepareRun() {
  std::filesystem::remove_all(kVideoFile);
  PrepareScoreFile("Ann\r\n0|1|0|0\r\n39|37|38|17|40|16\r\n");
}

void StartRecordedGame() {
  game.videoCapture = 1;
  ClickButton(1);
}

struct Probe {
  std::map<std::string, std::string> fields;
  std::string packetFlags;  // one letter a packet: K for a key frame, _ otherwise
  std::string complaints;   // whatever ffprobe reports beside the fields
};

// Reads the whole file, decoding every frame.
Probe ProbeVideo() {
  Probe probe;
  std::string command =
      std::string("ffprobe -v error -count_frames -show_entries ") +
      "format=nb_streams:stream=codec_name,codec_tag_string,pix_fmt,width," +
      "height,r_frame_rate,nb_frames,nb_read_frames:packet=flags -of default=nw=1 " + kVideoFile +
      " 2>&1";
  FILE* output = popen(command.c_str(), "r");
  if (output == nullptr) return probe;
  char line[512];
  while (fgets(line, sizeof line, output)) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
      probe.complaints += text + "\n";
    } else if (text.substr(0, equals) == "flags") {
      probe.packetFlags += text[equals + 1];
    } else {
      probe.fields[text.substr(0, equals)] = text.substr(equals + 1);
    }
  }
  if (pclose(output) != 0) probe.complaints += "ffprobe failed\n";
  return probe;
}

void ExpectPlayableFile(const Probe& probe, const std::string& codec, int frames) {
  EXPECT_EQ(probe.complaints, "");
  EXPECT_EQ(probe.fields.at("nb_streams"), "1");
  EXPECT_EQ(probe.fields.at("codec_name"), codec);
  EXPECT_EQ(probe.fields.at("width"), "588");
  EXPECT_EQ(probe.fields.at("height"), "588");
  EXPECT_EQ(probe.fields.at("r_frame_rate"), "25/1");
  EXPECT_EQ(probe.fields.at("nb_read_frames"), std::to_string(frames));
  EXPECT_EQ(probe.fields.at("nb_frames"), std::to_string(frames));  // the header was completed
  EXPECT_EQ(probe.packetFlags.size(), static_cast<size_t>(frames));
}

// Every frame of the file, decoded and converted to 24-bit pixels.
std::vector<Frame> DecodeVideo() {
  std::vector<Frame> frames;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, kVideoFile, nullptr, nullptr) < 0) return frames;
  avformat_find_stream_info(input, nullptr);
  const AVCodecParameters* parameters = input->streams[0]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, parameters);
  avcodec_open2(decoder, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* picture = av_frame_alloc();
  SwsContext* converter = nullptr;
  auto receive = [&] {
    while (avcodec_receive_frame(decoder, picture) == 0) {
      converter = sws_getCachedContext(converter, picture->width, picture->height,
                                       static_cast<AVPixelFormat>(picture->format), kVideoFrameSize,
                                       kVideoFrameSize, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                       nullptr, nullptr);
      // The converter may write a few bytes past the last pixel.
      Frame& frame = frames.emplace_back(kFrameBytes + 64);
      uint8_t* planes[1] = {frame.data()};
      int strides[1] = {kVideoFrameRowBytes};
      sws_scale(converter, picture->data, picture->linesize, 0, picture->height, planes, strides);
      frame.resize(kFrameBytes);
    }
  };
  while (av_read_frame(input, packet) == 0) {
    avcodec_send_packet(decoder, packet);
    av_packet_unref(packet);
    receive();
  }
  avcodec_send_packet(decoder, nullptr);
  receive();
  sws_freeContext(converter);
  av_frame_free(&picture);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&input);
  return frames;
}

// Fills the main window's surface with a picture unique to `seed`: gradients, moving squares, and
// a half-transparent lower part; returns its bottom-left 588 x 588 as the frame should show it
// (the premultiplied colours, alpha dropped).
Frame PaintSurface(int seed) {
  cairo_surface_t* surface = toolkit.windows.front().surface;
  cairo_surface_flush(surface);
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  Frame expected(kFrameBytes);
  for (int y = 0; y < 600; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(pixels + y * stride);
    for (int x = 0; x < 600; ++x) {
      uint32_t alpha = y < 400 ? 255 : 128;
      uint32_t red = x * 255 / 599 * alpha / 255;
      uint32_t green = y * 255 / 599 * alpha / 255;
      uint32_t blue = ((x / 64 + y / 64 + seed) % 3) * 100 * alpha / 255;
      row[x] = alpha << 24 | red << 16 | green << 8 | blue;
      if (x >= kVideoFrameSize || y < 600 - kVideoFrameSize) continue;
      uint8_t* target = &expected[(y - 12) * kVideoFrameRowBytes + 3 * x];
      target[0] = static_cast<uint8_t>(blue);
      target[1] = static_cast<uint8_t>(green);
      target[2] = static_cast<uint8_t>(red);
    }
  }
  cairo_surface_mark_dirty(surface);
  return expected;
}

// Each test leaves no video behind.
class VideoRecording : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove_all(kVideoFile); }
};

void CaptureNow() {
  CaptureVideoFrame(HeadlessMainWindow(), WM_TIMER, 0, PlatformTickCount());
}

double MeanDifference(const Frame& a, const Frame& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

// Records three painted frames with `encoder` (a failed grab between the first two) and returns
// them as expected, with the index of the first in the file.
std::vector<Frame> RecordPaintedFrames(const std::string& encoder, int* firstIndex) {
  std::vector<Frame> painted;
  PrepareRun();
  RunGame({[&] {
             HeadlessQueueCompressionAnswer({encoder, 1, 0});
             StartRecordedGame();
           },
           [] { HeadlessPressKey(VK_ESCAPE, 27); },
           [&] {
             *firstIndex = Video().frameIndex;
             painted.push_back(PaintSurface(0));
             CaptureNow();
             cairo_surface_t* surface = toolkit.windows.front().surface;
             toolkit.windows.front().surface = nullptr;
             CaptureNow();  // fails: no image to grab
             toolkit.windows.front().surface = surface;
             EXPECT_EQ(Video().frameIndex, *firstIndex + 1);
             for (int seed = 1; seed <= 2; ++seed) {
               painted.push_back(PaintSurface(seed));
               CaptureNow();
             }
             EXPECT_EQ(Video().frameIndex, *firstIndex + 3);
           }});
  return painted;
}

TEST_F(VideoRecording, DefaultCodecRecordsThePlayAndOneSecondAfter) {
  PrepareRun();
  int playFrames = 0;
  RunGame({[] { StartRecordedGame(); },
           [&] {
             ASSERT_EQ(HeadlessCompressionDialogs().size(), 1u);
             const HeadlessCompressionDialog& dialog = HeadlessCompressionDialogs()[0];
             ASSERT_FALSE(dialog.choices.empty());
             EXPECT_EQ(dialog.choices[0].encoder, "mpeg4");
             EXPECT_EQ(dialog.choices[0].label, "MPEG-4 (DivX)");
             EXPECT_EQ(dialog.shown.encoder, "mpeg4");
             EXPECT_EQ(dialog.shown.keyFrameInterval, 1);
             EXPECT_EQ(dialog.shown.dataRate, 0);
             ASSERT_TRUE(game.clock.running);
             int atStart = Video().frameIndex;
             HeadlessAdvance(30000);
             ASSERT_TRUE(game.clock.running);
             playFrames = Video().frameIndex;
             EXPECT_LE(playFrames - atStart, 750);
             EXPECT_GE(playFrames - atStart, 700);
             LoseGame();
             ASSERT_FALSE(game.clock.running);
             HeadlessAdvance(960);
             EXPECT_EQ(Video().frameIndex, playFrames + 24);
             EXPECT_NE(Video().file, nullptr);
             HeadlessAdvance(1000);
             EXPECT_EQ(Video().frameIndex, playFrames + 25);
             EXPECT_EQ(Video().file, nullptr);
             EXPECT_TRUE(HeadlessDialogs().empty());
           }});
  Probe probe = ProbeVideo();
  ExpectPlayableFile(probe, "mpeg4", playFrames + 25);
  EXPECT_EQ(probe.fields["codec_tag_string"], "DIVX");
  EXPECT_EQ(probe.packetFlags, std::string(playFrames + 25, 'K'));
}

TEST_F(VideoRecording, FramesShowTheBottomLeftOfTheWindow) {
  int first = 0;
  std::vector<Frame> painted = RecordPaintedFrames("ffv1", &first);
  std::vector<Frame> decoded = DecodeVideo();
  ASSERT_EQ(decoded.size(), static_cast<size_t>(first + 3));
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(decoded[first + k] == painted[k]) << k;

  painted = RecordPaintedFrames("mpeg4", &first);
  decoded = DecodeVideo();
  ASSERT_EQ(decoded.size(), static_cast<size_t>(first + 3));
  for (int k = 0; k < 3; ++k) EXPECT_LT(MeanDifference(decoded[first + k], painted[k]), 3.0) << k;
  EXPECT_GT(MeanDifference(decoded[first], painted[1]), 10.0);  // the frames differ
}

TEST_F(VideoRecording, EveryOfferedEncoderWritesAPlayableFile) {
  const std::map<std::string, std::string> decoderNames = {{"mpeg4", "mpeg4"},
                                                           {"mjpeg", "mjpeg"},
                                                           {"libx264", "h264"},
                                                           {"ffv1", "ffv1"},
                                                           {"rawvideo", "rawvideo"}};
  std::vector<CompressionChoice> choices;
  PrepareRun();
  RunGame({[&] {
    ASSERT_TRUE(VideoCaptureAvailable());
    choices = Video().encoders;
  }});
  std::vector<std::string> offered;
  for (const CompressionChoice& choice : choices) offered.push_back(choice.encoder);
  for (const char* required : {"mpeg4", "mjpeg", "ffv1", "rawvideo"}) {
    EXPECT_NE(std::find(offered.begin(), offered.end(), required), offered.end()) << required;
  }
  for (const CompressionChoice& choice : choices) {
    SCOPED_TRACE(choice.encoder);
    PrepareRun();
    RunGame({[&] {
               HeadlessQueueCompressionAnswer({choice.encoder, 1, 0});
               StartRecordedGame();
             },
             [] { HeadlessAdvance(400); }});
    Probe probe = ProbeVideo();
    ExpectPlayableFile(probe, decoderNames.at(choice.encoder), Video().frameIndex);
    EXPECT_GE(Video().frameIndex, 10);
    if (choice.encoder == "rawvideo") {
      EXPECT_EQ(probe.fields["pix_fmt"], "bgr24");
    }
  }
}

TEST_F(VideoRecording, KeyFrameIntervalAndDataRateAreApplied) {
  PrepareRun();
  RunGame({[] {
             HeadlessQueueCompressionAnswer({"mpeg4", 5, 40});
             StartRecordedGame();
           },
           [] { HeadlessAdvance(4000); }});
  Probe probe = ProbeVideo();
  int frames = Video().frameIndex;
  ExpectPlayableFile(probe, "mpeg4", frames);
  std::string expected;
  for (int i = 0; i < frames; ++i) expected += i % 5 == 0 ? 'K' : '_';
  EXPECT_EQ(probe.packetFlags, expected);
  // 40 kilobytes a second, with room for the rate control to settle.
  EXPECT_LT(std::filesystem::file_size(kVideoFile), 40000u * frames / 25 * 2);
}

TEST_F(VideoRecording, AbandonedGameRecordsUntilTheNextStartClosesIt) {
  PrepareRun();
  int abandonedFrames = 0;
  RunGame({[] { StartRecordedGame(); },
           [] {
             HeadlessAdvance(1000);
             HeadlessPressKey(VK_ESCAPE, 27);
           },
           [&] {
             ASSERT_FALSE(game.clock.running);
             int atEscape = Video().frameIndex;
             HeadlessAdvance(2000);
             EXPECT_EQ(Video().frameIndex, atEscape + 50);  // the idle window goes on
             EXPECT_TRUE(Video().recording);
             abandonedFrames = Video().frameIndex;
             HeadlessQueueCompressionCancel();
             ClickButton(1);
           },
           [] {
             // The cancelled start closed the first recording and left it in place.
             EXPECT_TRUE(game.clock.running);
             EXPECT_EQ(Video().file, nullptr);
             ASSERT_EQ(HeadlessDialogs().size(), 1u);
           }});
  ExpectPlayableFile(ProbeVideo(), "mpeg4", abandonedFrames);
}

TEST_F(VideoRecording, QuittingCompletesTheFile) {
  PrepareRun();
  RunGame({[] { StartRecordedGame(); },
           [] {
             HeadlessAdvance(1000);
             HeadlessPressKey(VK_ESCAPE, 27);
             HeadlessAdvance(1000);
             ClickButton(5);
           }});
  EXPECT_EQ(Video().file, nullptr);
  ExpectPlayableFile(ProbeVideo(), "mpeg4", Video().frameIndex);

  PrepareRun();
  int atEnd = 0;
  RunGame({[] { StartRecordedGame(); },
           [&] {
             HeadlessAdvance(1000);
             LoseGame();
             atEnd = Video().frameIndex;
             HeadlessAdvance(480);  // less than a second after the end
             ClickButton(5);
           }});
  EXPECT_EQ(Video().frameIndex, atEnd + 12);
  ExpectPlayableFile(ProbeVideo(), "mpeg4", Video().frameIndex);
}

TEST_F(VideoRecording, CancelWarnsAndTheNextGameAsksAgainOnTheLastChoice) {
  PrepareRun();
  RunGame({[] {
             HeadlessQueueCompressionCancel();
             StartRecordedGame();
           },
           [] {
             ASSERT_EQ(HeadlessDialogs().size(), 1u);
             EXPECT_EQ(HeadlessDialogs()[0].title, "Avertissement");
             EXPECT_EQ(HeadlessDialogs()[0].text,
                       Utf8ToCp1252("Votre vidéo ne sera pas enregistré."));
             EXPECT_EQ(HeadlessDialogs()[0].style, MB_OK);
             EXPECT_TRUE(game.clock.running);
             HeadlessAdvance(1000);
             EXPECT_EQ(Video().frameIndex, 0);
             EXPECT_FALSE(std::filesystem::exists(kVideoFile));
             LoseGame();
             HeadlessQueueCompressionAnswer({"ffv1", 1, 0});
             ClickButton(1);
           },
           [] {
             ASSERT_EQ(HeadlessCompressionDialogs().size(), 2u);
             EXPECT_EQ(HeadlessCompressionDialogs()[1].shown.encoder, "mpeg4");
             HeadlessAdvance(1000);
             EXPECT_GT(Video().frameIndex, 0);
             LoseGame();
             ClickButton(1);  // within the tail
           },
           [] {
             ASSERT_EQ(HeadlessCompressionDialogs().size(), 3u);
             EXPECT_EQ(HeadlessCompressionDialogs()[2].shown.encoder, "ffv1");
             HeadlessAdvance(400);
           }});
  ExpectPlayableFile(ProbeVideo(), "ffv1", Video().frameIndex);
}

TEST_F(VideoRecording, FailedStartsWarnOnceAndThePlayGoesOn) {
  auto expectUnrecorded = [] {
    EXPECT_TRUE(game.clock.running);
    ASSERT_EQ(HeadlessDialogs().size(), 1u);
    EXPECT_EQ(HeadlessDialogs()[0].text, Utf8ToCp1252("Votre vidéo ne sera pas enregistré."));
    HeadlessAdvance(400);
    EXPECT_EQ(Video().file, nullptr);
    EXPECT_EQ(Video().compressor, nullptr);
    EXPECT_EQ(Video().frameIndex, 0);
  };
  PrepareRun();
  std::filesystem::create_directory(kVideoFile);  // the file cannot be created
  RunGame({[] { StartRecordedGame(); }, expectUnrecorded});
  std::filesystem::remove(kVideoFile);

  PrepareRun();
  RunGame({[] {
             HeadlessQueueCompressionAnswer({"nonexistent", 1, 0});
             StartRecordedGame();
           },
           expectUnrecorded});
  EXPECT_FALSE(std::filesystem::exists(kVideoFile));

  PrepareRun();
  RunGame({[] {
             // As when the library or its AVI muxer is missing: looked for, not found.
             Video().probed = true;
             Video().libraryLoaded = false;
             EXPECT_FALSE(VideoCaptureAvailable());
             StartRecordedGame();
           },
           expectUnrecorded});
  EXPECT_TRUE(HeadlessCompressionDialogs().empty());
}

}  // namespace
