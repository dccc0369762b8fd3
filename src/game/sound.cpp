#include "game/sound.h"

#include "platform/platform.h"
#include "shell/game_state.h"

namespace {

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

}  // namespace

void OpenMidi() {}

void SendMidi(uint8_t, uint8_t, uint8_t) {}

void SetProgram(int channel, int program) {
  if (!gameState.midiOpen) return;
  SendMidi(static_cast<uint8_t>(0xC0 + channel), static_cast<uint8_t>(program), 0);
}

void PlayNote(int channel, int note, int offVelocity, int onVelocity) {
  if (!gameState.midiOpen) return;
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

void PlaySound(int) {}

void DecodeRecordedSounds() {}
