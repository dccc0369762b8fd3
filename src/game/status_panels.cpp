#include "game/status_panels.h"

#include <algorithm>
#include <string>

#include "game/game.h"
#include "game/sound.h"
#include "widgets/drawing.h"
#include "widgets/resources.h"
#include "widgets/widget.h"

namespace {

constexpr uint32_t kTextColour = 0xFF202020;
constexpr WidgetRect kStatusArea = {374, 80, 560, 150};
constexpr WidgetRect kNextPieceBox = {374, 80, 438, 144};
constexpr WidgetRect kScoreBox = {460, 123, 560, 150};
constexpr int kPreviewCentreX = 406;
constexpr int kPreviewCentreY = 112;
constexpr int kPreviewStep = 16;
constexpr int kPreviewSquare = 15;

void Erase(const WidgetWindow* record, const WidgetRect& rect) {
  FillFromSnapshot(record, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void DrawPreview(int32_t mask) {
  int minColumn = 3, maxColumn = 0, minRow = 3, maxRow = 0;
  ForEachPieceCell(mask, 0, 0, [&](int k, int negativeB) {
    int b = -negativeB;
    minColumn = std::min(minColumn, k);
    maxColumn = std::max(maxColumn, k);
    minRow = std::min(minRow, b);
    maxRow = std::max(maxRow, b);
  });
  int w = maxColumn - minColumn + 1;
  int h = maxRow - minRow + 1;
  int left = kPreviewCentreX - (w * kPreviewStep) / 2 - minColumn * kPreviewStep;
  int top = kPreviewCentreY - (h * kPreviewStep) / 2 - minRow * kPreviewStep;
  ForEachPieceCell(mask, 0, 0, [&](int k, int negativeB) {
    FillSolid(left + kPreviewStep * k, top - kPreviewStep * negativeB, kPreviewSquare,
              kPreviewSquare, kTextColour);
  });
}

// Draws an end-of-game picture over the well and shows it.
void ShowPicture(Playfield* board, cairo_surface_t* image, int x, int y, int width, int height) {
  WidgetWindow* record = BeginWidgetDrawing(board->widget, DrawingMode::smooth);
  if (record == nullptr) return;
  DrawImage(image, x, y, width, height);
  EndWidgetDrawing(record);
}

}  // namespace

void ClearStatusPanels(Playfield* board) {
  WidgetWindow* record = BeginWidgetDrawing(board->widget, DrawingMode::smooth);
  if (record == nullptr) return;
  Erase(record, kStatusArea);
  EndWidgetDrawing(record);
}

void DrawNextPiece(Playfield* board) {
  WidgetWindow* record = BeginWidgetDrawing(board->widget, DrawingMode::smooth);
  if (record == nullptr) return;
  Erase(record, kNextPieceBox);
  DrawPreview(PieceMask(board->nextPieceId, 1));
  EndWidgetDrawing(record);
}

void DrawScore(Playfield* board) {
  WidgetWindow* record = BeginWidgetDrawing(board->widget, DrawingMode::smooth);
  if (record == nullptr) return;
  Erase(record, kScoreBox);
  ReplaceWidgetFont(board->widget, 20);
  DrawWidgetText(board->widget, kScoreBox.left, kScoreBox.top, std::to_string(board->score),
                 kTextColour, 0, 0);
  EndWidgetDrawing(record);
}

void ShowGameOver(Playfield* board) {
  ShowPicture(board, ImageDecodedOnce("GO", &game.imageGO), 60, 200, 234, 149);
  if (board->soundsEnabled) PlaySound(0);
  gameHooks.stopRecording();
}

void ShowVictory(Playfield* board) {
  ShowPicture(board, ImageDecodedOnce("BRAVO", &game.imageBRAVO), 52, 237, 250, 75);
  gameHooks.stopRecording();
}
