// The next-piece preview, the score, and the pictures shown over the well when a game ends.
#pragma once

struct Playfield;

void ClearStatusPanels(Playfield* board);
void DrawNextPiece(Playfield* board);
void DrawScore(Playfield* board);
void ShowGameOver(Playfield* board);
void ShowVictory(Playfield* board);
