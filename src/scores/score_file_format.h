// The bytes of the score file: the reading rules, the defaults of a missing file, and the
// nineteen lines written from the board's record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct Playfield;

struct LineReader {
  std::string_view content;
  size_t position;
};

bool AtEnd(const LineReader& reader);
// A line ends at CR LF, CR, LF, NUL or the end; past the end every line is empty.
std::string ReadLine(LineReader& reader);

// Field n (from 1) of a "|"-separated line; empty past the last field.
std::string LineField(std::string_view line, int n);
// Leading blanks, an optional sign, then digits up to the first other character; 0 without any.
int32_t LenientNumber(std::string_view text);
// Fills the name, options, keys and local table from the file's bytes; names longer than a
// player can type are cut to that length.
void ReadScoreFile(std::string_view content, Playfield& board);
// Without a file: sounds, ghost and internet scores on, opaque background off, the arrow keys,
// Ctrl and Shift.
void ApplyScoreFileDefaults(Playfield& board);

// The file's text for `board`: the name, the options, the keys and the sixteen rows, each line
// ended by CR LF.
std::string ScoreFileText(const Playfield& board);
