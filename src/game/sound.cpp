#include "game/sound.h"

#include <fluidsynth.h>
#include <malloc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <future>
#include <utility>

#include "base/cp1252.h"
#include "game/game.h"
#include "game/soundfont_subset.h"
#include "game/synth_library.h"
#include "platform/audio.h"
#include "platform/dialogs.h"
#include "platform/windows.h"
#include "widgets/resources.h"
#include "widgets/toolkit.h"

std::vector<std::string> soundFontFiles = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};

namespace {

constexpr int kSampleRate = 44100;
constexpr int kOutputChannels = 2;
constexpr int kSoundCount = 3;
constexpr size_t kKeptMessages = 4096;
// The synthesizer's master gain: its notes sit a little below the recorded sounds.
constexpr double kSynthGain = 0.5;
// The longest melody sounds seven notes within a tenth of a second, two voices each at most,
// over what is left of the notes before: 32 voices hold that with room, and cost 300 kB less
// than the synthesizer's default of 64.
constexpr int kPolyphony = 32;
// Two seconds: longer than the reverberation of a note after its voice has ended.
constexpr int kSynthTailFrames = 2 * kSampleRate;
// The window's timer that takes up a synthesizer start that outlasted a note's patience.
constexpr uintptr_t kSoundTimer = 0x50D;
constexpr uint32_t kSoundTimerPeriod = 100;
// How long a note waits for a synthesizer still starting; it is delivered late, not dropped,
// if the start takes longer still.
constexpr auto kNotePatience = std::chrono::seconds(3);

// A recorded sound being played: the next sample to mix.
struct Voice {
  size_t position;
  bool playing;
};

// Everything the audio output reads: the synthesizer and the recorded sounds with their voices.
// Changed only with the output locked, except the voices, which only the output itself moves:
// PlaySound merely raises a flag that the output takes up at its next block.
struct SoundOutput {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  std::vector<int16_t> sounds[kSoundCount];
  Voice voices[kSoundCount] = {};
  std::atomic<bool> restartWanted[kSoundCount] = {};
  int silentFrames = 0;
};

SoundOutput output;
std::deque<MidiMessage> sentMessages;

enum class SynthState { closed, wanted, starting, ready, failed };

// The synthesizer is started on a thread of its own when a note first needs it: loading its
// library and its soundfont would otherwise delay the first frame, and hold several
// megabytes that a player who has not started a game does not need. Messages sent meanwhile
// wait, in order, for it to be ready.
struct SynthStart {
  SynthState state = SynthState::closed;
  std::future<bool> started;
  std::vector<MidiMessage> waiting;
};

SynthStart synthStart;
// The window whose timer watches the synthesizer's start.
WindowHandle soundWindow = nullptr;
bool soundDecoded[kSoundCount] = {};

struct MelodyNote {
  int channel;
  int note;
  uint32_t pauseAfter;
};

void PlayMelody(const MelodyNote* notes, int count) {
  for (int i = 0; i < count; ++i) {
    PlayNote(notes[i].channel, notes[i].note, 127, 127);
    if (notes[i].pauseAfter) PlatformSleep(notes[i].pauseAfter);
  }
}

void ShowProblem(const char* utf8Text) {
  PlatformMessageBox(toolkit.mainWindow, Utf8ToCp1252(utf8Text), Utf8ToCp1252("Problème"), MB_OK);
}

// Adds what is left of a playing sound to the frames, both channels, saturating.
void MixVoice(Voice& voice, const std::vector<int16_t>& sound, int16_t* frames, int frameCount) {
  if (!voice.playing) return;
  size_t count = std::min(static_cast<size_t>(frameCount), sound.size() - voice.position);
  for (size_t i = 0; i < count; ++i) {
    int sample = sound[voice.position + i];
    for (int channel = 0; channel < kOutputChannels; ++channel) {
      int16_t& out = frames[i * kOutputChannels + channel];
      out = static_cast<int16_t>(std::clamp(out + sample, -32768, 32767));
    }
  }
  voice.position += count;
  voice.playing = voice.position < sound.size();
}

// Whether the synthesizer still has something to say: a note sounding, or one that ended less
// than the reverberation's tail ago. Between games it is silent, and rendering its silence
// would cost the idle program more than everything else together.
bool SynthSounding(int frameCount) {
  if (!output.synth) return false;
  if (fluid_synth_get_active_voice_count(output.synth) > 0) {
    output.silentFrames = 0;
    return true;
  }
  output.silentFrames = std::min(output.silentFrames + frameCount, kSynthTailFrames);
  return output.silentFrames < kSynthTailFrames;
}

// The audio output's callback: the synthesizer's notes, then the recorded sounds on top.
void RenderAudio(int16_t* frames, int frameCount) {
  if (SynthSounding(frameCount)) {
    fluid_synth_write_s16(output.synth, frameCount, frames, 0, kOutputChannels, frames, 1,
                          kOutputChannels);
  } else {
    std::fill_n(frames, frameCount * kOutputChannels, int16_t{0});
  }
  for (int number = 0; number < kSoundCount; ++number) {
    Voice& voice = output.voices[number];
    if (output.restartWanted[number].exchange(false)) {
      voice = {0, !output.sounds[number].empty()};
    }
    MixVoice(voice, output.sounds[number], frames, frameCount);
  }
}

// Loads the first soundfont that serves: only its presets for `programs` when it gives a subset
// of them, otherwise the whole file.
bool LoadSoundFont(fluid_synth_t* synth, std::span<const int> programs) {
  for (const std::string& file : soundFontFiles) {
    if (LoadSoundFontSubset(synth, file, programs)) return true;
    if (fluid_synth_sfload(synth, file.c_str(), 1) != FLUID_FAILED) return true;
  }
  return false;
}

// Replaces the synthesizer by a new one with a General MIDI soundfont reduced to `programs`;
// false, with the old one gone, when either cannot be set up.
bool StartSynth(const std::vector<int>& programs) {
  if (!LoadSynthLibrary()) return false;
  // The program keeps no log: the synthesizer's messages go nowhere.
  for (int level = 0; level < LAST_LOG_LEVEL; ++level) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  PlatformLockAudio();
  fluid_synth_t* oldSynth = std::exchange(output.synth, nullptr);
  fluid_settings_t* oldSettings = std::exchange(output.settings, nullptr);
  PlatformUnlockAudio();
  if (oldSynth) {
    delete_fluid_synth(oldSynth);
    ReleaseSoundFontSubsets(oldSynth);
  }
  if (oldSettings) delete_fluid_settings(oldSettings);

  fluid_settings_t* settings = new_fluid_settings();
  if (!settings) return false;
  fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
  fluid_settings_setnum(settings, "synth.gain", kSynthGain);
  // Only the samples of the presets the channels select are read, when they select them, from
  // the subset kept in memory: that leaves 0.2 MB less resident than reading all its samples
  // at once, and loads in half the time.
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(settings, "synth.polyphony", kPolyphony);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (synth) AddSubsetLoader(settings, synth);
  if (!synth || !LoadSoundFont(synth, programs)) {
    if (synth) delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return false;
  }
  PlatformLockAudio();
  output.settings = settings;
  output.synth = synth;
  PlatformUnlockAudio();
  // Reading the soundfont leaves freed memory that the allocator would otherwise keep for the
  // rest of the program.
  malloc_trim(0);
  return true;
}

// Hands one short message to the synthesizer; false when it is not a message the synthesizer
// takes or the synthesizer refuses it.
bool DeliverMidi(uint8_t status, uint8_t data1, uint8_t data2) {
  if (!output.synth || data1 > 127 || data2 > 127) return false;
  int channel = status & 0x0F;
  int kind = status & 0xF0;
  bool delivered = true;
  PlatformLockAudio();
  if (kind == 0x80 || (kind == 0x90 && data2 == 0)) {
    // Releasing a note that is not sounding is no error.
    fluid_synth_noteoff(output.synth, channel, data1);
  } else if (kind == 0x90) {
    delivered = fluid_synth_noteon(output.synth, channel, data1, data2) == FLUID_OK;
  } else if (kind == 0xC0) {
    delivered = fluid_synth_program_change(output.synth, channel, data1) == FLUID_OK;
  } else {
    delivered = false;
  }
  PlatformUnlockAudio();
  return delivered;
}

void OpenOutput() {
  PlatformOpenAudio(kSampleRate, kOutputChannels, RenderAudio);
}

// The sound output opens alongside the synthesizer's start, so that the first note waits for
// both, for no longer than the slower of the two, and nothing of the sound device is loaded
// before a game asks for a sound.
bool OpenOutputAndStartSynth(std::vector<int> programs) {
  std::future<void> opened = std::async(std::launch::async, OpenOutput);
  bool started = StartSynth(programs);
  opened.wait();
  return started;
}

// The programs the channels hold once `messages` are delivered: the only ones the synthesizer
// loads.
std::vector<int> ProgramsInUse(const std::vector<MidiMessage>& messages) {
  constexpr int kChannels = 16;
  int channelPrograms[kChannels];
  std::fill_n(channelPrograms, kChannels, -1);
  for (const MidiMessage& message : messages) {
    if ((message.status & 0xF0) == 0xC0 && message.data1 <= 127) {
      channelPrograms[message.status & 0x0F] = message.data1;
    }
  }
  std::vector<int> programs;
  for (int program : channelPrograms) {
    if (program >= 0 && std::find(programs.begin(), programs.end(), program) == programs.end()) {
      programs.push_back(program);
    }
  }
  return programs;
}

void LaunchSynth() {
  if (synthStart.state != SynthState::wanted) return;
  // A start left over from an earlier window must not install its synthesizer over this one.
  if (synthStart.started.valid()) synthStart.started.wait();
  synthStart.state = SynthState::starting;
  synthStart.started =
      std::async(std::launch::async, OpenOutputAndStartSynth, ProgramsInUse(synthStart.waiting));
}

void FinishSynthStart(bool started) {
  if (!started) {
    synthStart.state = SynthState::failed;
    synthStart.waiting.clear();
    sentMessages.clear();
    game.midiOpen = 0;
    ShowProblem("Impossible d'ouvrir le périphérique MIDI");
    return;
  }
  synthStart.state = SynthState::ready;
  std::vector<MidiMessage> waiting = std::move(synthStart.waiting);
  for (const MidiMessage& message : waiting) {
    if (!DeliverMidi(message.status, message.data1, message.data2)) {
      ShowProblem("Erreur dans l'envoi du message MIDI");
    }
  }
}

void SoundTimerProc(WindowHandle window, uint32_t, uintptr_t, uint32_t);

// Starts the synthesizer if it is not yet started and takes up its start if that ends within
// `patience`; otherwise the window's timer takes it up later.
void AwaitSynth(std::chrono::milliseconds patience) {
  LaunchSynth();
  if (synthStart.state != SynthState::starting) return;
  if (synthStart.started.wait_for(patience) == std::future_status::ready) {
    FinishSynthStart(synthStart.started.get());
    return;
  }
  if (soundWindow) PlatformSetTimer(soundWindow, kSoundTimer, kSoundTimerPeriod, SoundTimerProc);
}

// Watches a synthesizer start that outlasted the patience of a note.
void SoundTimerProc(WindowHandle window, uint32_t, uintptr_t, uint32_t) {
  if (synthStart.state == SynthState::starting &&
      synthStart.started.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    return;
  }
  PlatformKillTimer(window, kSoundTimer);
  if (synthStart.state == SynthState::starting) FinishSynthStart(synthStart.started.get());
}

// The recorded sound `number`, decoded the first time it is played.
void DecodeOnce(int number) {
  if (soundDecoded[number]) return;
  soundDecoded[number] = true;
  std::vector<int16_t> decoded;
  // A sound that does not decode stays empty and silent.
  DecodeOggVorbis(FindEmbeddedResource("sound" + std::to_string(number)), &decoded);
  PlatformLockAudio();
  output.sounds[number] = std::move(decoded);
  PlatformUnlockAudio();
}

// Reads an Ogg Vorbis stream from memory for vorbisfile.
size_t ReadMemory(void* buffer, size_t size, size_t count, void* source) {
  auto* stream = static_cast<MemoryStream*>(source);
  if (size == 0) return 0;
  size_t items = std::min(count, (stream->data.size() - stream->position) / size);
  std::copy_n(stream->data.begin() + stream->position, items * size,
              static_cast<unsigned char*>(buffer));
  stream->position += items * size;
  return items;
}

int SeekMemory(void* source, ogg_int64_t offset, int whence) {
  return SeekMemoryStream(*static_cast<MemoryStream*>(source), offset, whence) ? 0 : -1;
}

long TellMemory(void* source) {
  return static_cast<long>(static_cast<MemoryStream*>(source)->position);
}

}  // namespace

void OpenMidi() {
  if (game.midiOpen) return;
  sentMessages.clear();
  synthStart.waiting.clear();
  synthStart.state = SynthState::wanted;
  game.midiOpen = 1;
  SendMidi(0xC0, 0, 0);
}

void SendMidi(uint8_t status, uint8_t data1, uint8_t data2) {
  // A program change can wait for the synthesizer; anything else is to be heard now.
  if ((status & 0xF0) != 0xC0) AwaitSynth(kNotePatience);
  if (synthStart.state == SynthState::failed) return;
  MidiMessage message{PlatformTickCount(), status, data1, data2};
  sentMessages.push_back(message);
  if (sentMessages.size() > kKeptMessages) sentMessages.pop_front();
  if (synthStart.state == SynthState::wanted || synthStart.state == SynthState::starting) {
    synthStart.waiting.push_back(message);
    return;
  }
  if (!DeliverMidi(status, data1, data2)) ShowProblem("Erreur dans l'envoi du message MIDI");
}

void SetProgram(int channel, int program) {
  if (!game.midiOpen) return;
  SendMidi(static_cast<uint8_t>(0xC0 + channel), static_cast<uint8_t>(program), 0);
}

void PlayNote(int channel, int note, int offVelocity, int onVelocity) {
  if (!game.midiOpen) return;
  SendMidi(static_cast<uint8_t>(0x80 + channel), static_cast<uint8_t>(note),
           static_cast<uint8_t>(offVelocity));
  SendMidi(static_cast<uint8_t>(0x90 + channel), static_cast<uint8_t>(note),
           static_cast<uint8_t>(onVelocity));
}

void PlayRowMelody(int rows) {
  static constexpr MelodyNote kOne[] = {{2, 75, 0}};
  static constexpr MelodyNote kTwo[] = {{2, 70, 10}, {2, 75, 0}};
  static constexpr MelodyNote kThree[] = {{7, 60, 10}, {7, 65, 10}, {7, 70, 20}, {7, 75, 0}};
  static constexpr MelodyNote kFour[] = {{5, 60, 10}, {5, 65, 10}, {5, 70, 10}, {6, 60, 10},
                                         {6, 65, 10}, {6, 70, 20}, {6, 75, 0}};
  switch (rows) {
    case 1:
      PlayMelody(kOne, 1);
      break;
    case 2:
      PlayMelody(kTwo, 2);
      break;
    case 3:
      PlayMelody(kThree, 4);
      break;
    case 4:
      PlayMelody(kFour, 7);
      break;
    default:
      break;
  }
}

void PlaySound(int number) {
  if (number < 0 || number >= kSoundCount) return;
  OpenOutput();
  DecodeOnce(number);
  // The lock only tells the output that something is to be played (it may be resting).
  PlatformLockAudio();
  output.restartWanted[number] = true;
  PlatformUnlockAudio();
}

void ResetSoundForWindow(WindowHandle window) {
  // A new window starts in silence, whatever an earlier one was playing.
  PlatformLockAudio();
  for (int number = 0; number < kSoundCount; ++number) {
    output.voices[number] = {};
    output.restartWanted[number] = false;
  }
  PlatformUnlockAudio();
  soundWindow = window;
}

const std::deque<MidiMessage>& SentMidiMessages() {
  return sentMessages;
}

bool DecodeOggVorbis(std::span<const unsigned char> data, std::vector<int16_t>* samples) {
  MemoryStream stream{data, 0};
  ov_callbacks callbacks{ReadMemory, SeekMemory, nullptr, TellMemory};
  OggVorbis_File file;
  if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) return false;
  const vorbis_info* info = ov_info(&file, -1);
  bool ok = ov_streams(&file) == 1 && info && info->channels == 1 && info->rate == kSampleRate;
  std::vector<int16_t> pcm;
  constexpr int kBigEndian = std::endian::native == std::endian::big ? 1 : 0;
  while (ok) {
    int16_t buffer[4096];
    int section = 0;
    long bytes =
        ov_read(&file, reinterpret_cast<char*>(buffer), sizeof buffer, kBigEndian, 2, 1, &section);
    if (bytes == 0) break;
    ok = bytes > 0;
    if (ok) pcm.insert(pcm.end(), buffer, buffer + bytes / 2);
  }
  // A damaged page makes vorbisfile stop early without an error: the count tells.
  ok = ok && static_cast<ogg_int64_t>(pcm.size()) == ov_pcm_total(&file, -1) && !pcm.empty();
  ov_clear(&file);
  if (ok) *samples = std::move(pcm);
  return ok;
}
