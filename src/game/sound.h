// The sound effects: MIDI notes and the three recorded sounds.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "platform/windows.h"

// Opens the MIDI output: messages are taken from now on, and heard once the synthesizer has
// started. It starts, on a thread of its own, when the first note is asked for, and that note
// waits for it. When it cannot start, a message says so and the notes are silent. It holds only
// the instruments of the programs the channels have selected by then (bank 0): a program
// selected later finds none.
void OpenMidi();
void SendMidi(uint8_t status, uint8_t data1, uint8_t data2);
void SetProgram(int channel, int program);
void PlayNote(int channel, int note, int offVelocity, int onVelocity);
void PlayRowMelody(int rows);
void PlaySound(int number);
// Silences what an earlier window was playing; `window`'s timer then watches a synthesizer start
// that outlasts a note's patience. The sound output opens with the first note or sound, and the
// recorded sounds are decoded when first played.
void ResetSoundForWindow(WindowHandle window);

// The General MIDI soundfonts OpenMidi tries, in this order; the first one that loads is used.
extern std::vector<std::string> soundFontFiles;

// One MIDI short message given to SendMidi, with the tick it was sent at.
struct MidiMessage {
  uint32_t tick;
  uint8_t status;
  uint8_t data1;
  uint8_t data2;
};
// The messages sent since the output was opened, oldest first; only the latest 4096 are kept.
const std::deque<MidiMessage>& SentMidiMessages();

// Decodes a whole Ogg Vorbis stream held in memory into 16-bit samples. Only a single mono
// stream at 44 100 Hz is accepted; anything else, or damaged data, returns false.
bool DecodeOggVorbis(std::span<const unsigned char> data, std::vector<int16_t>* samples);
