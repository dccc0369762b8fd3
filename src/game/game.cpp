#include "game/game.h"

Game game;
GameHooks gameHooks;
