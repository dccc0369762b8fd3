// The sound effects: MIDI notes and the three recorded sounds.
#pragma once

#include <cstdint>

void OpenMidi();
void SendMidi(uint8_t status, uint8_t data1, uint8_t data2);
void SetProgram(int channel, int program);
void PlayNote(int channel, int note, int offVelocity, int onVelocity);
void PlayRowMelody(int rows);
void PlaySound(int number);
// Starts the sound output and decodes the three recorded sounds carried by the program.
void DecodeRecordedSounds();
