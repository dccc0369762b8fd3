// The notes and the recorded sounds, heard through the in-memory audio output on the virtual
// clock: what was sent to the synthesizer, when, and what came out.
#include "game/sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "base/cp1252.h"
#include "game/rules.h"
#include "platform/windows.h"
#include "support/board_helpers.h"
#include "widgets/resources.h"

namespace {

// The synthesizer's dither leaves ±1 in silence; a note or a sound reaches thousands.
constexpr int kSilence = 4;
// What is left of a note after a second: its reverberation dying away.
constexpr int kQuiet = 50;
constexpr int kHeard = 500;
constexpr const char* kSoundsOff = "Ann\r\n0|1|0|0\r\n39|37|38|17|40|16\r\n";

// The frame of the audio output that plays `ms` milliseconds after the last HeadlessClearAudio.
size_t FrameAt(uint32_t ms) {
  return static_cast<size_t>(ms) * 441 / 10;
}

// The loudest sample of both channels over frames [first, last).
int Peak(size_t first, size_t last) {
  const std::vector<int16_t>& audio = HeadlessAudio();
  last = std::min(last, audio.size() / 2);
  int peak = 0;
  for (size_t i = 2 * first; i < 2 * last; ++i) peak = std::max(peak, std::abs(int{audio[i]}));
  return peak;
}

std::vector<int16_t> Decoded(int number) {
  std::vector<int16_t> samples;
  EXPECT_TRUE(DecodeOggVorbis(FindEmbeddedResource("sound" + std::to_string(number)), &samples));
  return samples;
}

// The largest difference between the left channel from frame `first` on and `expected`.
int Deviation(size_t first, const std::vector<int>& expected) {
  const std::vector<int16_t>& audio = HeadlessAudio();
  EXPECT_GE(audio.size() / 2, first + expected.size());
  int worst = 0;
  for (size_t i = 0; i < expected.size() && 2 * (first + i) < audio.size(); ++i) {
    worst = std::max(worst, std::abs(audio[2 * (first + i)] - expected[i]));
  }
  return worst;
}

// How closely the left channel from frame `first` follows `sound` (1 for the same shape).
double Correlation(size_t first, const std::vector<int16_t>& sound) {
  const std::vector<int16_t>& audio = HeadlessAudio();
  double product = 0, heard = 0, expected = 0;
  for (size_t i = 0; i < sound.size() && 2 * (first + i) < audio.size(); ++i) {
    double a = audio[2 * (first + i)], b = sound[i];
    product += a * b;
    heard += a * a;
    expected += b * b;
  }
  return heard > 0 && expected > 0 ? product / std::sqrt(heard * expected) : 0;
}

// How closely the left channel over [first, first + length) follows the one from `other` on.
double SelfCorrelation(size_t first, size_t other, size_t length) {
  const std::vector<int16_t>& audio = HeadlessAudio();
  std::vector<int16_t> earlier;
  for (size_t i = 0; i < length && 2 * (other + i) < audio.size(); ++i) {
    earlier.push_back(audio[2 * (other + i)]);
  }
  return Correlation(first, earlier);
}

// The messages sent from index `from` on, as (status, data1, tick offset from the first).
struct Sent {
  int status, data1;
  uint32_t offset;
  bool operator==(const Sent&) const = default;
};
std::vector<Sent> SentSince(size_t from) {
  std::vector<Sent> sent;
  const std::deque<MidiMessage>& messages = SentMidiMessages();
  for (size_t i = from; i < messages.size(); ++i) {
    sent.push_back({messages[i].status, messages[i].data1, messages[i].tick - messages[from].tick});
    EXPECT_EQ(messages[i].data2, 127);
  }
  return sent;
}

TEST(Midi, OutputOpensWithTheEightProgramsAndNoMessage) {
  InGame([] {
    EXPECT_EQ(game.midiOpen, 1);
    EXPECT_EQ(HeadlessAudioRate(), 44100);
    EXPECT_EQ(HeadlessAudioChannels(), 2);
    const std::deque<MidiMessage>& sent = SentMidiMessages();
    ASSERT_GE(sent.size(), 9u);
    const int programs[9][2] = {{0xC0, 0},   {0xC0, 117}, {0xC1, 112}, {0xC2, 115}, {0xC3, 55},
                                {0xC4, 113}, {0xC5, 114}, {0xC6, 116}, {0xC7, 10}};
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(sent[i].status, programs[i][0]) << i;
      EXPECT_EQ(sent[i].data1, programs[i][1]) << i;
    }
    // Then only the three countdown notes; channels 3 and 4 never get one.
    for (size_t i = 9; i < sent.size(); ++i) EXPECT_EQ(sent[i].status & 0x0F, 1);
    EXPECT_TRUE(HeadlessDialogs().empty());
  });
}

TEST(Midi, CountdownNoteSoundsAtEachDigit) {
  std::vector<uint32_t> noteTicks;
  uint32_t cleared = 0;
  RunGame({[&] {
             cleared = PlatformTickCount();
             HeadlessClearAudio();
             ClickButton(1);
           },
           [&] {
             for (const MidiMessage& message : SentMidiMessages()) {
               if (message.status == 0x91 && message.data1 == 74) noteTicks.push_back(message.tick);
             }
             ASSERT_EQ(noteTicks.size(), 3u);
             // Each digit is silent just before its note and rings right after it.
             uint32_t digit = noteTicks[1] - noteTicks[0];
             EXPECT_EQ(noteTicks[2] - noteTicks[1], digit);
             EXPECT_EQ(noteTicks[0], cleared);
             EXPECT_GE(game.clock.startTick - noteTicks[2], digit);
             size_t first = FrameAt(noteTicks[0] - cleared);
             EXPECT_GT(Peak(first, first + FrameAt(50)), kHeard);
           }});
}

TEST(Midi, LockNoteIsHeardOnEveryLock) {
  InGame([] {
    HeadlessAdvance(3000);  // the countdown's bells die away
    for (int lock = 0; lock < 3; ++lock) {
      Spawn(kO);
      uint32_t cleared = PlatformTickCount();
      HeadlessClearAudio();
      HeadlessAdvance(100);
      EXPECT_LE(Peak(0, FrameAt(100)), kQuiet) << lock;
      size_t from = SentMidiMessages().size();
      uint32_t locked = PlatformTickCount();
      HandleGameKey(Board().keys.drop);
      EXPECT_EQ(SentSince(from), (std::vector<Sent>{{0x80, 76, 0}, {0x90, 76, 0}})) << lock;
      EXPECT_EQ(SentMidiMessages()[from].tick, locked);
      HeadlessAdvance(100);
      size_t heard = FrameAt(locked - cleared);
      EXPECT_GT(Peak(heard, heard + FrameAt(30)), kHeard) << lock;
      HeadlessAdvance(1000);
    }
    EXPECT_TRUE(HeadlessDialogs().empty());
  });
}

struct MelodyCase {
  int rows;
  std::vector<Sent> notes;  // note-ons only, with their offsets
  uint32_t dropTime;        // the three flashes and the melody's pauses
};

class RowMelody : public testing::TestWithParam<MelodyCase> {};

TEST_P(RowMelody, NotesChannelsAndPauses) {
  InGame([] {
    const MelodyCase& c = GetParam();
    HeadlessAdvance(3000);
    for (int row = 0; row < c.rows; ++row) FillRow(row, 4);
    Spawn(kI);
    uint32_t cleared = PlatformTickCount();
    HeadlessClearAudio();
    size_t from = SentMidiMessages().size();
    HandleGameKey(Board().keys.drop);
    EXPECT_EQ(PlatformTickCount() - cleared, c.dropTime);
    std::vector<Sent> sent = SentSince(from);
    // The lock note, then after the two first flashes each melody note as a note-off and a
    // note-on at the same tick.
    ASSERT_EQ(sent.size(), 2 + 2 * c.notes.size());
    EXPECT_EQ(sent[1], (Sent{0x90, 76, 0}));
    uint32_t melody = sent[2].offset;
    EXPECT_EQ(melody, 200u);
    for (size_t i = 0; i < c.notes.size(); ++i) {
      Sent off = sent[2 + 2 * i], on = sent[3 + 2 * i];
      EXPECT_EQ(off, (Sent{on.status - 0x10, on.data1, on.offset})) << i;
      EXPECT_EQ((Sent{on.status, on.data1, on.offset - melody}), c.notes[i]) << i;
    }
    HeadlessAdvance(200);
    // The melody's notes come over the fading lock note.
    size_t start = FrameAt(melody);
    int before = Peak(start - FrameAt(50), start), after = Peak(start, start + FrameAt(50));
    EXPECT_GT(after, kHeard);
    EXPECT_GT(after, 2 * before);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RowMelody,
    testing::Values(MelodyCase{1, {{0x92, 75, 0}}, 300},
                    MelodyCase{2, {{0x92, 70, 0}, {0x92, 75, 10}}, 310},
                    MelodyCase{
                        3, {{0x97, 60, 0}, {0x97, 65, 10}, {0x97, 70, 20}, {0x97, 75, 40}}, 340},
                    MelodyCase{4,
                               {{0x95, 60, 0},
                                {0x95, 65, 10},
                                {0x95, 70, 20},
                                {0x96, 60, 30},
                                {0x96, 65, 40},
                                {0x96, 70, 50},
                                {0x96, 75, 70}},
                               370}),
    [](const testing::TestParamInfo<MelodyCase>& info) {
      return std::to_string(info.param.rows) + "Rows";
    });

TEST(Sounds, GameOverPlaysSoundZero) {
  InGame([] {
    HeadlessAdvance(3000);
    uint32_t cleared = PlatformTickCount();
    HeadlessClearAudio();
    LoseGame();
    ASSERT_EQ(game.clock.running, 0);
    uint32_t over = PlatformTickCount();
    HeadlessAdvance(2000);
    // The lock note sounds with it, so the sound is recognised by its shape.
    std::vector<int16_t> sound = Decoded(0);
    EXPECT_GT(Correlation(FrameAt(over - cleared), sound), 0.9);
    EXPECT_LT(Correlation(FrameAt(over - cleared + 100), sound), 0.5);
  });
}

TEST(Sounds, SoundsOffIsSilentAndRowClearingOnlyFlashes) {
  PrepareScoreFile(kSoundsOff);
  InGame([] {
    ASSERT_EQ(Board().soundsEnabled, 0);
    size_t programsOnly = SentMidiMessages().size();
    EXPECT_EQ(programsOnly, 9u);
    for (int row = 0; row < 3; ++row) FillRow(row, 4);
    Spawn(kI);
    uint32_t before = PlatformTickCount();
    HandleGameKey(Board().keys.drop);
    EXPECT_EQ(PlatformTickCount() - before, 300u);
    LoseGame();
    ASSERT_EQ(game.clock.running, 0);
    HeadlessAdvance(2000);
    EXPECT_EQ(SentMidiMessages().size(), programsOnly);
    // Nothing was heard from the countdown on.
    EXPECT_LE(Peak(0, HeadlessAudio().size() / 2), kSilence);
  });
}

TEST(Sounds, PlaySoundRestartsASoundStillPlaying) {
  PrepareScoreFile(kSoundsOff);
  InGame([] {
    std::vector<int16_t> sound = Decoded(0);
    HeadlessClearAudio();
    uint32_t before = PlatformTickCount();
    PlaySound(0);
    EXPECT_EQ(PlatformTickCount(), before);
    HeadlessAdvance(500);
    PlaySound(0);
    HeadlessAdvance(1600);
    std::vector<int> expected(sound.begin(), sound.begin() + FrameAt(500));
    expected.insert(expected.end(), sound.begin(), sound.end());
    expected.resize(FrameAt(2100), 0);
    EXPECT_LE(Deviation(0, expected), 2);
  });
}

TEST(Sounds, TwoDifferentSoundsOverlap) {
  PrepareScoreFile(kSoundsOff);
  InGame([] {
    std::vector<int16_t> lost = Decoded(0), success = Decoded(2);
    HeadlessClearAudio();
    PlaySound(0);
    HeadlessAdvance(200);
    PlaySound(2);
    HeadlessAdvance(1600);
    std::vector<int> expected(FrameAt(1800), 0);
    for (size_t i = 0; i < lost.size(); ++i) expected[i] += lost[i];
    for (size_t i = 0; i < success.size(); ++i) expected[FrameAt(200) + i] += success[i];
    for (int& sample : expected) sample = std::clamp(sample, -32768, 32767);
    EXPECT_LE(Deviation(0, expected), 2);
    EXPECT_GT(Peak(FrameAt(200), FrameAt(900)), kHeard);
  });
}

TEST(Sounds, RecordedSoundsDecodeToTheirLengths) {
  const size_t lengths[3] = {67690, 47710, 32116};
  for (int number = 0; number < 3; ++number) {
    std::vector<int16_t> samples;
    ASSERT_TRUE(DecodeOggVorbis(FindEmbeddedResource("sound" + std::to_string(number)), &samples));
    EXPECT_EQ(samples.size(), lengths[number]) << number;
    int peak = 0;
    for (int16_t sample : samples) peak = std::max(peak, std::abs(int{sample}));
    EXPECT_GT(peak, 16000) << number;
    EXPECT_LT(std::abs(int{samples.back()}), 200) << number;  // it fades out, no click
  }
}

TEST(Sounds, DamagedStreamsAreRefused) {
  std::span<const unsigned char> original = FindEmbeddedResource("sound1");
  std::vector<int16_t> samples = {1, 2, 3};
  EXPECT_FALSE(DecodeOggVorbis({}, &samples));
  std::vector<unsigned char> text(original.size(), 'x');
  EXPECT_FALSE(DecodeOggVorbis(text, &samples));
  std::vector<unsigned char> damaged(original.begin(), original.end());
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i) damaged[i] ^= 0x5A;
  EXPECT_FALSE(DecodeOggVorbis(damaged, &samples));
  EXPECT_EQ(samples, (std::vector<int16_t>{1, 2, 3}));
}

TEST(Midi, WithoutASoundfontOneMessageThenSilentNotesButRecordedSounds) {
  std::vector<std::string> installed = soundFontFiles;
  soundFontFiles = {"/nonexistent/kestrow/none.sf2"};
  InGame([] {
    ASSERT_EQ(HeadlessDialogs().size(), 1u);
    EXPECT_EQ(HeadlessDialogs()[0].title, Utf8ToCp1252("Problème"));
    EXPECT_EQ(HeadlessDialogs()[0].text, Utf8ToCp1252("Impossible d'ouvrir le périphérique MIDI"));
    EXPECT_EQ(game.midiOpen, 0);
    EXPECT_EQ(Board().soundsEnabled, 1);
    EXPECT_TRUE(SentMidiMessages().empty());
    uint32_t cleared = PlatformTickCount();
    HeadlessClearAudio();
    for (int row = 0; row < 2; ++row) FillRow(row, 4);
    Spawn(kI);
    HandleGameKey(Board().keys.drop);
    LoseGame();
    uint32_t over = PlatformTickCount();
    HeadlessAdvance(2000);
    EXPECT_TRUE(SentMidiMessages().empty());
    EXPECT_LE(Peak(0, FrameAt(over - cleared)), kSilence);
    std::vector<int16_t> expected = Decoded(0);
    EXPECT_LE(
        Deviation(FrameAt(over - cleared), std::vector<int>(expected.begin(), expected.end())), 0);
    EXPECT_EQ(HeadlessDialogs().size(), 1u);
  });
  soundFontFiles = installed;
}

// Without sounds no note has started the synthesizer yet, nor opened the sound output: the first
// one waits for both, and it plays with the programs set while it was starting.
TEST(Midi, FirstNoteIsHeardAtOnceWithTheProgramsSetBefore) {
  PrepareScoreFile(kSoundsOff);
  InGame([] {
    EXPECT_EQ(HeadlessAudioRate(), 0);
    HeadlessClearAudio();
    PlayNote(0, 76, 127, 127);
    HeadlessAdvance(1000);
    PlayNote(7, 76, 127, 127);
    HeadlessAdvance(1000);
    EXPECT_GT(Peak(0, FrameAt(30)), kHeard);
    // Channel 0 plays program 117, channel 7 program 10: the same key sounds otherwise.
    EXPECT_LT(SelfCorrelation(FrameAt(1000), 0, FrameAt(500)), 0.3);
    EXPECT_TRUE(HeadlessDialogs().empty());
  });
}

TEST(Midi, RefusedMessageShowsItsErrorAndTheNextOneGoesThrough) {
  PrepareScoreFile(kSoundsOff);
  InGame([] {
    HeadlessClearAudio();
    SendMidi(0x90, 200, 127);  // not a note number
    ASSERT_EQ(HeadlessDialogs().size(), 1u);
    EXPECT_EQ(HeadlessDialogs()[0].title, Utf8ToCp1252("Problème"));
    EXPECT_EQ(HeadlessDialogs()[0].text, Utf8ToCp1252("Erreur dans l'envoi du message MIDI"));
    EXPECT_EQ(game.midiOpen, 1);
    PlayNote(0, 76, 127, 127);  // its note-off finds no sounding note: no error
    HeadlessAdvance(50);
    EXPECT_EQ(HeadlessDialogs().size(), 1u);
    EXPECT_GT(Peak(0, FrameAt(50)), kHeard);
  });
}

}  // namespace
