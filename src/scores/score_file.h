// The score file "Scores.zorvik": the last name, four options, the six keys and the local table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct Playfield;

void LoadScoreFile();
void SaveScoreFile();
void ClearLocalScores();

// The reading rules of the file, exposed for tests.
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
// Fills the name, options, keys and local table from the file's bytes.
void ReadScoreFile(std::string_view content, Playfield& board);
