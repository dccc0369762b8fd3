#include "shell/game_state.h"

GameState gameState;
