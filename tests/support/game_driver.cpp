#include "support/game_driver.h"

#include "shell/startup.h"

void RunGame(const std::vector<GameStep>& steps) {
  HeadlessReset();
  size_t next = 0;
  HeadlessSetIdle([&]() {
    if (next == steps.size()) return false;
    steps[next++]();
    return true;
  });
  RunKestrow();
  HeadlessSetIdle(nullptr);
}

int ButtonX() { return 353 + 101; }
int ButtonY(int id) { return 442 + 22 * (id - 1) + 10; }

void ClickButton(int id) { HeadlessClick(ButtonX(), ButtonY(id)); }

uint32_t ScreenPixel(int x, int y) { return HeadlessPixel(HeadlessMainWindow(), x, y); }

int CellScreenX(int column) { return 31 + 29 * column; }
int CellScreenY(int row) { return 24 + 29 * (17 - row); }
