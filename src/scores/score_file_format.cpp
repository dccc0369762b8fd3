#include "scores/score_file_format.h"

#include <string>
#include <string_view>

#include "game/playfield.h"
#include "platform/input.h"
#include "scores/score_server_protocol.h"

namespace {

void SetOption(uint8_t& option, uint8_t& pending, uint8_t value) {
  option = value;
  pending = value;
}

// A name from the file is cut to the length a player can type, however long the file has it.
std::string NameFrom(std::string_view text) {
  return std::string(text.substr(0, kMaxNameLength));
}

}  // namespace

// --- Reading -------------------------------------------------------------------------------

bool AtEnd(const LineReader& reader) {
  return reader.position >= reader.content.size();
}

std::string ReadLine(LineReader& reader) {
  std::string_view content = reader.content;
  size_t start = reader.position;
  size_t end = start;
  while (end < content.size() && content[end] != '\r' && content[end] != '\n' &&
         content[end] != '\0') {
    ++end;
  }
  reader.position = end;
  if (end < content.size()) {
    char terminator = content[reader.position++];
    if (terminator == '\r' && reader.position < content.size() &&
        content[reader.position] == '\n') {
      ++reader.position;
    }
  }
  return std::string(content.substr(start, end - start));
}

std::string LineField(std::string_view line, int n) {
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t bar = line.find('|', start);
    if (bar == std::string_view::npos) return std::string();
    start = bar + 1;
  }
  size_t end = line.find('|', start);
  return std::string(line.substr(start, end == std::string_view::npos ? end : end - start));
}

int32_t LenientNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint32_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + static_cast<uint32_t>(text[i++] - '0');
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

void ReadScoreFile(std::string_view content, Playfield& board) {
  LineReader reader{content, 0};
  board.lastName = NameFrom(ReadLine(reader));
  std::string options = ReadLine(reader);
  // A setting keeps the low 8 bits of its number.
  auto option = [&](int n) {
    return static_cast<uint8_t>((LenientNumber(LineField(options, n)) & 0xFF) != 0);
  };
  SetOption(board.soundsEnabled, board.pendingSoundsEnabled, option(1));
  SetOption(board.ghostEnabled, board.pendingGhostEnabled, option(2));
  SetOption(board.internetScores, board.pendingInternetScores, option(3));
  SetOption(board.opaqueBackground, board.pendingOpaqueBackground, option(4));
  std::string keys = ReadLine(reader);
  int32_t* fields[6] = {&board.keys.moveRight,  &board.keys.moveLeft, &board.keys.rotateRight,
                        &board.keys.rotateLeft, &board.keys.drop,     &board.keys.moveDown};
  for (int n = 0; n < 6; ++n) *fields[n] = LenientNumber(LineField(keys, n + 1));
  EmptyScoreTable(board.localTable);
  for (int row = 0; row < kScoreRows && !AtEnd(reader); ++row) {
    std::string line = ReadLine(reader);
    board.localTable[row] = {NameFrom(LineField(line, 1)), LenientNumber(LineField(line, 2))};
  }
}

void ApplyScoreFileDefaults(Playfield& board) {
  SetOption(board.soundsEnabled, board.pendingSoundsEnabled, 1);
  SetOption(board.ghostEnabled, board.pendingGhostEnabled, 1);
  SetOption(board.internetScores, board.pendingInternetScores, 1);
  SetOption(board.opaqueBackground, board.pendingOpaqueBackground, 0);
  board.keys = {VK_RIGHT, VK_LEFT, VK_UP, VK_CONTROL, VK_DOWN, VK_SHIFT};
}

// --- Writing -------------------------------------------------------------------------------

std::string ScoreFileText(const Playfield& board) {
  std::string text = board.lastName + "\r\n";
  text += std::to_string(board.soundsEnabled) + "|" + std::to_string(board.ghostEnabled) + "|" +
          std::to_string(board.internetScores) + "|" + std::to_string(board.opaqueBackground) +
          "\r\n";
  const KeyBindings& keys = board.keys;
  for (int32_t key :
       {keys.moveRight, keys.moveLeft, keys.rotateRight, keys.rotateLeft, keys.drop}) {
    text += std::to_string(key) + "|";
  }
  text += std::to_string(keys.moveDown) + "\r\n";
  for (const ScoreEntry& entry : board.localTable) {
    text += entry.name + "|" + std::to_string(entry.time) + "\r\n";
  }
  return text;
}
