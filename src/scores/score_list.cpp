#include "scores/score_list.h"

#include "game/game.h"
#include "widgets/drawing.h"
#include "widgets/widget.h"

namespace {

constexpr uint32_t kTextColour = 0xFF202020;
constexpr int kNameX = 356;
constexpr int kTimeX = 490;
constexpr int kFirstRowY = 173;
constexpr int kRowPitch = 16;
constexpr int kNameWidth = 135;

std::string FormatPackedTime(PackedTime time) {
  return FormatTwoDigits(time >> 16) + ":" + FormatTwoDigits((time >> 8) & 0xFF) + ":" +
         FormatTwoDigits(time & 0xFF);
}

void DrawRows(Widget* widget) {
  ReplaceWidgetFont(widget, 14);
  const Playfield& board = game.playfield;
  const ScoreTable& table = board.internetScores ? board.internetTable : board.localTable;
  for (int i = 0; i < kScoreRows; ++i) {
    if (table[i].name.empty()) continue;
    int y = kFirstRowY + kRowPitch * i;
    DrawWidgetText(widget, kNameX, y, table[i].name, kTextColour, kNameWidth, kRowPitch);
    DrawWidgetText(widget, kTimeX, y, FormatPackedTime(table[i].time), kTextColour, 0, 0);
  }
}

}  // namespace

void DrawScoreList(bool present) {
  Widget* widget = game.playfield.widget;
  if (!present) {
    DrawRows(widget);
    return;
  }
  WidgetWindow* record = BeginWidgetDrawing(widget, DrawingMode::smooth);
  if (record == nullptr) return;
  FillFromSnapshot(record, kNameX, kFirstRowY, 660 - kNameX, 480 - kFirstRowY);
  DrawRows(widget);
  EndWidgetDrawing(record);
}
