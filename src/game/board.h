// The well as a widget: the block images, the full paint, the falling piece and its ghost.
#pragma once

#include <cstdint>

struct Playfield;

Playfield* CreateBoardWidget(int32_t parentKey, int32_t id, int32_t x, int32_t y, int32_t columns,
                             int32_t rows);
int32_t BoardCallback(void* object, int32_t message, int32_t wParam, int32_t lParam);
void PaintBoard();
void RedrawFallingPiece();
void DrawNewPiece();
