// A whole game played with SDL's virtual controller, plugged in while the program runs: the pad
// sends the messages of the player's bound keys, so the board must end as the keys leave it.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "game/rules.h"
#include "platform/sdl/pad_devices.h"
#include "support/board_helpers.h"

namespace {

// One poll of the controllers while one is plugged in.
constexpr uint32_t kPoll = 16;

SDL_Joystick* pad;

void PlugPad() {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
  int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                        SDL_CONTROLLER_BUTTON_MAX, 0);
  ASSERT_GE(index, 0) << SDL_GetError();
  pad = SDL_JoystickOpen(index);
  ASSERT_NE(pad, nullptr) << SDL_GetError();
  HeadlessAdvance(1100);  // the next idle poll finds it
}

void UnplugPad() {
  int index = SDL_JoystickInstanceID(pad);
  SDL_JoystickClose(pad);
  for (int device = 0; device < SDL_NumJoysticks(); ++device) {
    if (SDL_JoystickGetDeviceInstanceID(device) == index) SDL_JoystickDetachVirtual(device);
  }
}

void Press(SDL_GameControllerButton button) {
  SDL_JoystickSetVirtualButton(pad, button, 1);
  HeadlessAdvance(kPoll);
}

void Release(SDL_GameControllerButton button) {
  SDL_JoystickSetVirtualButton(pad, button, 0);
  HeadlessAdvance(kPoll);
}

void Tap(SDL_GameControllerButton button) {
  Press(button);
  Release(button);
}

// What a key or a button changes: the falling piece and the well.
struct BoardState {
  int column, row, rotation;
  int8_t cells[kCellCount];
};

BoardState State() {
  BoardState state{Board().pieceColumn, Board().pieceRow, Board().rotation, {}};
  std::memcpy(state.cells, Board().cells, sizeof state.cells);
  return state;
}

bool SameState(const BoardState& a, const BoardState& b) {
  return a.column == b.column && a.row == b.row && a.rotation == b.rotation &&
         std::memcmp(a.cells, b.cells, sizeof a.cells) == 0;
}

void ExpectButtonsPlayTheBoundKeys() {
  // Keys unlike the arrows' defaults, so a pad that sent fixed keys would do nothing.
  KeyBindings& keys = Board().keys;
  keys = {.moveRight = 'D',
          .moveLeft = 'Q',
          .rotateRight = 'Z',
          .rotateLeft = 'A',
          .drop = 'S',
          .moveDown = 'X'};
  struct ButtonKey {
    SDL_GameControllerButton button;
    int32_t key;
  };
  for (ButtonKey pair : {ButtonKey{SDL_CONTROLLER_BUTTON_DPAD_LEFT, keys.moveLeft},
                         {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, keys.moveRight},
                         {SDL_CONTROLLER_BUTTON_DPAD_UP, keys.rotateRight},
                         {SDL_CONTROLLER_BUTTON_A, keys.rotateRight},
                         {SDL_CONTROLLER_BUTTON_B, keys.rotateLeft},
                         {SDL_CONTROLLER_BUTTON_DPAD_DOWN, keys.drop},
                         {SDL_CONTROLLER_BUTTON_X, keys.moveDown},
                         {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, keys.moveDown}}) {
    std::memset(Board().cells, 0, sizeof Board().cells);
    Spawn(kT);
    BoardState before = State();
    Tap(pair.button);
    BoardState played = State();
    std::memset(Board().cells, 0, sizeof Board().cells);
    Spawn(kT);
    HandleGameKey(pair.key);
    SCOPED_TRACE(SDL_GameControllerGetStringForButton(pair.button));
    EXPECT_FALSE(SameState(played, before));
    EXPECT_TRUE(SameState(played, State()));
  }
}

// Held right moves once, again after the desktop's repeat delay (250 ms here), then at its
// repeat rate (every 50 ms). Polls come every 16 ms from the one that saw the press: repeats due
// at 250, 300, 350 and 400 ms are played at 256, 304, 352 and 400 ms.
void ExpectHeldRightRepeats() {
  Spawn(kT);
  Board().pieceColumn = 0;
  Press(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);  // seen by a poll in these 16 ms
  EXPECT_EQ(Board().pieceColumn, 1);
  HeadlessAdvance(230);  // at most 246 ms after the press
  EXPECT_EQ(Board().pieceColumn, 1);
  HeadlessAdvance(130);  // 360 to 376 ms after the press
  EXPECT_EQ(Board().pieceColumn, 4);
  Release(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  HeadlessAdvance(200);
  EXPECT_EQ(Board().pieceColumn, 4);
}

// Without a pad-like device the controllers are not even started, unless devices are named for
// SDL: a pad SDL is given directly then goes unseen.
TEST(Gamepad, StaysAsleepWithoutAPadDevice) {
  if (PadDevicePresent("/dev/input")) GTEST_SKIP() << "a pad is plugged into this machine";
  unsetenv("SDL_JOYSTICK_DEVICE");
  RunGame({[] {
    PlugPad();
    Tap(SDL_CONTROLLER_BUTTON_START);
    EXPECT_FALSE(game.clock.running);
    UnplugPad();
  }});
}

TEST(Gamepad, PlaysAWholeGameLikeTheKeys) {
  // Not a joystick: SDL finds none there, but the controllers start.
  setenv("SDL_JOYSTICK_DEVICE", "/dev/null", 1);
  RunGame({[] {
    HeadlessSetKeyRepeat(250, 50);  // read when the pad is plugged in
    PlugPad();
    Tap(SDL_CONTROLLER_BUTTON_START);
    ASSERT_TRUE(game.clock.running);
    ExpectButtonsPlayTheBoundKeys();
    ExpectHeldRightRepeats();
    Tap(SDL_CONTROLLER_BUTTON_BACK);  // Escape
    EXPECT_FALSE(game.clock.running);

    Tap(SDL_CONTROLLER_BUTTON_START);
    ASSERT_TRUE(game.clock.running);
    for (int piece = 0; piece < 100 && game.clock.running; ++piece) {
      Tap(SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    }
    EXPECT_FALSE(game.clock.running);  // the well filled up
    UnplugPad();
  }});
}

}  // namespace
