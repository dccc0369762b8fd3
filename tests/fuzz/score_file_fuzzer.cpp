// libFuzzer target: any bytes as the content of the score file. Reading never fails, names are
// no longer than a player can type, the text written back is always nineteen CR LF lines, and
// reading that text gives back the same record.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "game/playfield.h"
#include "scores/score_file_format.h"
#include "scores/score_server_protocol.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool SameEntries(const ScoreTable& a, const ScoreTable& b) {
  for (int i = 0; i < kScoreRows; ++i) {
    if (a[i].name != b[i].name || a[i].time != b[i].time) return false;
  }
  return true;
}

bool SameStoredFields(const Playfield& a, const Playfield& b) {
  const KeyBindings& x = a.keys;
  const KeyBindings& y = b.keys;
  return a.lastName == b.lastName && a.soundsEnabled == b.soundsEnabled &&
         a.ghostEnabled == b.ghostEnabled && a.internetScores == b.internetScores &&
         a.opaqueBackground == b.opaqueBackground && x.moveRight == y.moveRight &&
         x.moveLeft == y.moveLeft && x.rotateRight == y.rotateRight &&
         x.rotateLeft == y.rotateLeft && x.drop == y.drop && x.moveDown == y.moveDown &&
         SameEntries(a.localTable, b.localTable);
}

// Each option is 0 or 1 and its pending copy equals it.
bool OptionsAreFlags(const Playfield& board) {
  for (auto [option, pending] :
       {std::pair{board.soundsEnabled, board.pendingSoundsEnabled},
        std::pair{board.ghostEnabled, board.pendingGhostEnabled},
        std::pair{board.internetScores, board.pendingInternetScores},
        std::pair{board.opaqueBackground, board.pendingOpaqueBackground}}) {
    if (option > 1 || pending != option) return false;
  }
  return true;
}

// Nineteen lines, each ended by CR LF, with no other CR, LF or NUL.
bool NineteenLines(std::string_view text) {
  int lines = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0' || text[i] == '\n') return false;
    if (text[i] != '\r') continue;
    if (i + 1 == text.size() || text[i + 1] != '\n') return false;
    ++lines;
    ++i;
  }
  return lines == 19 && text.ends_with("\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  Playfield first{};
  ReadScoreFile(input, first);
  std::string_view firstLine = input.substr(0, input.find_first_of(std::string_view("\r\n\0", 3)));
  Check(first.lastName == firstLine.substr(0, kMaxNameLength));
  for (const ScoreEntry& entry : first.localTable)
    Check(entry.name.size() <= static_cast<size_t>(kMaxNameLength));
  Check(OptionsAreFlags(first));

  std::string text = ScoreFileText(first);
  Check(NineteenLines(text));
  Playfield second{};
  ReadScoreFile(text, second);
  Check(SameStoredFields(first, second));
  Check(ScoreFileText(second) == text);
  return 0;
}
