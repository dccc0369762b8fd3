#include "game/board.h"

#include <cstring>
#include <string>

#include "game/game.h"
#include "game/rules.h"
#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/widget.h"

namespace {

Playfield& Board() {
  return game.playfield;
}

int CellX(int column) {
  return Board().widget->x + kCellSize * column;
}
int CellY(int row) {
  return Board().widget->y + kCellSize * (kRows - 1 - row);
}

void DrawCellImage(cairo_surface_t* image, int column, int row) {
  DrawImage(image, CellX(column), CellY(row), kCellSize, kCellSize);
}

void EraseCell(const WidgetWindow* record, int column, int row) {
  FillFromSnapshot(record, CellX(column), CellY(row), kCellSize, kCellSize);
}

void LoadBoardImages() {
  for (int code = 1; code <= 9; ++code) {
    LoadResourceImage("B" + std::to_string(code), &game.blockImages[code]);
  }
  LoadResourceImage("OB", &game.ghostImage);
}

void FreeBoardResources(Widget* widget) {
  FreeWidgetFont(widget);
  for (cairo_surface_t*& image : game.blockImages) ReleaseImage(&image);
  ReleaseImage(&game.ghostImage);
}

void DrawCells() {
  for (int i = 0; i < Board().rows; ++i) {
    int row = kRows - 1 - i;
    for (int column = 0; column < Board().columns; ++column) {
      int8_t code = Board().cells[CellIndex(column, row)];
      if (code >= 1 && code <= 9) DrawCellImage(game.blockImages[code], column, row);
    }
  }
}

void PaintWell(int32_t standalone, int32_t newState) {
  Widget* widget = Board().widget;
  if (newState != 0) widget->state = static_cast<int8_t>(newState);
  if (!Board().dirty) return;
  WidgetWindow* record = nullptr;
  if (standalone) {
    record = BeginWidgetDrawing(widget, DrawingMode::crisp);
    if (record == nullptr) return;
    FillFromSnapshot(record, widget->x, widget->y, widget->width, widget->height);
  } else if (widget->parentRecord == nullptr) {
    widget->parentRecord = static_cast<WidgetWindow*>(
        PlatformGetWindowProperty(widget->parentWindow, kRecordProperty));
  }
  DrawCells();
  if (standalone) {
    EndWidgetDrawing(record);
  } else {
    gameHooks.drawScoreList(false);
  }
  Board().dirty = 0;
}

// How far the piece can fall from where it is (0 or less).
int GhostOffset() {
  int d = 0;
  while (!PieceBlocked(0, d - 1)) --d;
  return d;
}

bool CoveredByPiece(int column, int row) {
  uint8_t code = Board().overlay[CellIndex(column, row)];
  return code == kOverlayKeep || code == kOverlayDraw;
}

bool InCells(const BoardCell* cells, int column, int row) {
  for (int i = 0; i < 4; ++i) {
    if (cells[i].column == column && cells[i].row == row) return true;
  }
  return false;
}

// `erased` marks the cells the piece's redraw has just restored to the background: an old ghost
// cell among them no longer shows the ghost and must be drawn again if it stays a ghost cell.
void RedrawGhost(const WidgetWindow* record, const bool* erased) {
  BoardCell newCells[4] = {};
  int count = 0;
  const Playfield& board = Board();
  ForEachPieceCell(PieceMask(board.pieceId, board.rotation), board.pieceColumn,
                   board.pieceRow + GhostOffset(), [&](int column, int row) {
                     bool shown =
                         InCells(game.ghostCells, column, row) && !erased[CellIndex(column, row)];
                     if (!CoveredByPiece(column, row) && !shown) {
                       DrawCellImage(game.ghostImage, column, row);
                     }
                     newCells[count++] = {column, row};
                   });
  for (const BoardCell& old : game.ghostCells) {
    if (InCells(newCells, old.column, old.row)) continue;
    if (CoveredByPiece(old.column, old.row)) continue;
    EraseCell(record, old.column, old.row);
  }
  std::memcpy(game.ghostCells, newCells, sizeof newCells);
}

void MarkPieceCells(uint8_t coveredAgain, uint8_t newlyCovered) {
  Playfield& board = Board();
  ForEachPieceCell(PieceMask(board.pieceId, board.rotation), board.pieceColumn, board.pieceRow,
                   [&](int column, int row) {
                     uint8_t& code = board.overlay[CellIndex(column, row)];
                     code = code == kOverlayErase ? coveredAgain : newlyCovered;
                   });
}

}  // namespace

Playfield* CreateBoardWidget(int32_t parentKey, int32_t id, int32_t x, int32_t y, int32_t columns,
                             int32_t rows) {
  Playfield& board = Board();
  Widget* widget = NewWidget();
  board.widget = widget;
  widget->parentKey = parentKey;
  widget->id = id;
  widget->object = &board;
  CreateWidgetFont(widget, "Arial", 14, kAlignNear);
  widget->x = x;
  widget->y = y;
  board.columns = static_cast<int8_t>(columns);
  board.rows = static_cast<int8_t>(rows);
  board.dirty = 1;
  board.pieceImage = 2;
  ClearPlayfield();
  widget->width = columns * kCellSize;
  widget->height = rows * kCellSize;
  widget->rect = {x, y, x + widget->width, y + widget->height};
  widget->state = kStateNormal;
  widget->callback = BoardCallback;
  gameHooks.loadScores();
  return &board;
}

int32_t BoardCallback(void* object, int32_t message, int32_t wParam, int32_t lParam) {
  auto* board = static_cast<Playfield*>(object);
  switch (message) {
    case WM_CREATE:
      LoadBoardImages();
      break;
    case WM_DESTROY:
      FreeBoardResources(board->widget);
      break;
    case WM_PAINT:
      PaintWell(wParam, lParam);
      break;
    case WM_KEYDOWN:
      if (game.clock.running) HandleGameKey(wParam);
      break;
    default:
      break;
  }
  return 0;
}

void PaintBoard() {
  BoardCallback(&Board(), WM_PAINT, 1, 0);
}

void RedrawFallingPiece() {
  Playfield& board = Board();
  WidgetWindow* record = BeginWidgetDrawing(board.widget, DrawingMode::crisp);
  if (record == nullptr) return;
  for (uint8_t& code : board.overlay) {
    if (code != kOverlayNone) code = kOverlayErase;
  }
  MarkPieceCells(kOverlayKeep, kOverlayDraw);
  bool erased[kCellCount] = {};
  for (int row = kRows - 1; row >= 0; --row) {
    for (int column = 0; column < kColumns; ++column) {
      uint8_t& code = board.overlay[CellIndex(column, row)];
      if (code == kOverlayErase) {
        code = kOverlayNone;
        EraseCell(record, column, row);
        erased[CellIndex(column, row)] = true;
      } else if (code == kOverlayDraw) {
        DrawCellImage(game.blockImages[board.pieceImage], column, row);
      }
    }
  }
  if (board.ghostEnabled) RedrawGhost(record, erased);
  EndWidgetDrawing(record);
}

void DrawNewPiece() {
  Playfield& board = Board();
  WidgetWindow* record = BeginWidgetDrawing(board.widget, DrawingMode::crisp);
  if (record == nullptr) return;
  std::memset(board.overlay, kOverlayNone, sizeof board.overlay);
  ForEachPieceCell(PieceMask(board.pieceId, board.rotation), board.pieceColumn, board.pieceRow,
                   [&](int column, int row) {
                     board.overlay[CellIndex(column, row)] = kOverlayDraw;
                     DrawCellImage(game.blockImages[board.pieceImage], column, row);
                   });
  if (board.ghostEnabled) {
    int i = 0;
    ForEachPieceCell(PieceMask(board.pieceId, board.rotation), board.pieceColumn,
                     board.pieceRow + GhostOffset(), [&](int column, int row) {
                       // A piece that enters resting hides its ghost rather than wearing it.
                       if (!CoveredByPiece(column, row)) {
                         DrawCellImage(game.ghostImage, column, row);
                       }
                       game.ghostCells[i++] = {column, row};
                     });
  }
  EndWidgetDrawing(record);
}
