// The preferences window, the key-capture fields and the help window, on the headless backend.
#include <gtest/gtest.h>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"
#include "settings/key_bindings.h"
#include "support/board_helpers.h"
#include "video/video_recorder.h"

namespace {

WindowHandle Preferences() {
  return HeadlessFindWindow(Utf8ToCp1252("Kestrow préférences"));
}

WindowHandle Control(const char* utf8Text) {
  return HeadlessFindControl(Preferences(), Utf8ToCp1252(utf8Text));
}

// The key field of action k: the edit fields in creation order.
WindowHandle KeyField(int k) {
  int seen = 0;
  for (WindowHandle control : HeadlessControls(Preferences())) {
    if (HeadlessControl(control).kind != ControlKind::editField) continue;
    if (seen++ == k) return control;
  }
  return nullptr;
}

void Click(const char* utf8Text) {
  HeadlessClickControl(Control(utf8Text));
}

TEST(KeyNames, FixedNamesLettersAndOthers) {
  const std::pair<int, const char*> names[] = {
      {38, "Haut"},   {40, "Bas"},   {39, "Droite"},   {37, "Gauche"},  {32, "Espace"},
      {13, "Entrer"}, {16, "Shift"}, {17, "Control"},  {27, "Echappe"}, {8, "Effacer"},
      {96, "Num0"},   {105, "Num9"}, {33, "PageHaut"}, {34, "PageBas"}, {36, "Debut"},
      {35, "Fin"},    {65, "A"},     {90, "Z"},        {55, "7"},       {112, "P"},
      {123, "{"},     {106, "J"},    {0, ""},          {9, "\t"},       {186, "\xBA"},
      {230, "\xC6"}};
  for (auto [code, name] : names) EXPECT_EQ(KeyName(code), name) << code;
}

TEST(Preferences, OpensWithTheDefaultsAtTheirPlaces) {
  RunGame({[] { ClickButton(3); },
           [] {
             ASSERT_NE(Preferences(), nullptr);
             HeadlessWindowState main = HeadlessWindow(HeadlessMainWindow());
             EXPECT_FALSE(main.enabled);
             struct Expected {
               ControlKind kind;
               const char* text;
               int x, y, width, height, id;
               bool checked;
             };
             const Expected expected[] = {
                 {ControlKind::groupBox, "", 5, 0, 235, 111, 0, false},
                 {ControlKind::checkBox, "Activer les sons", 15, 10, 220, 16, 11, true},
                 {ControlKind::checkBox, "Fantôme", 15, 30, 220, 16, 13, true},
                 {ControlKind::checkBox, "Fond opaque", 15, 50, 220, 16, 14, false},
                 {ControlKind::checkBox, "Scores Internet", 15, 70, 220, 16, 12, true},
                 {ControlKind::checkBox, "Capture vidéo", 15, 90, 220, 16, 15, false},
                 {ControlKind::groupBox, "Commandes", 5, 115, 235, 150, 0, false},
                 {ControlKind::label, "Déplacer à droite", 15, 135, 130, 16, 0, false},
                 {ControlKind::editField, "Droite", 160, 134, 70, 18, 0, false},
                 {ControlKind::label, "Déplacer à gauche", 15, 155, 130, 16, 0, false},
                 {ControlKind::editField, "Gauche", 160, 154, 70, 18, 0, false},
                 {ControlKind::label, "Rotation à droite", 15, 175, 130, 16, 0, false},
                 {ControlKind::editField, "Haut", 160, 174, 70, 18, 0, false},
                 {ControlKind::label, "Rotation à gauche", 15, 195, 130, 16, 0, false},
                 {ControlKind::editField, "Control", 160, 194, 70, 18, 0, false},
                 {ControlKind::label, "Faire chuter", 15, 215, 130, 16, 0, false},
                 {ControlKind::editField, "Bas", 160, 214, 70, 18, 0, false},
                 {ControlKind::label, "Déplacer en bas", 15, 235, 130, 16, 0, false},
                 {ControlKind::editField, "Shift", 160, 234, 70, 18, 0, false},
                 {ControlKind::pushButton, "OK", 35, 275, 75, 20, 8, false},
                 {ControlKind::pushButton, "Annuler", 140, 275, 75, 20, 9, false},
             };
             std::vector<WindowHandle> controls = HeadlessControls(Preferences());
             ASSERT_EQ(controls.size(), std::size(expected));
             for (size_t i = 0; i < controls.size(); ++i) {
               HeadlessControlState c = HeadlessControl(controls[i]);
               const Expected& e = expected[i];
               EXPECT_EQ(c.kind, e.kind) << i;
               EXPECT_EQ(c.text, Utf8ToCp1252(e.text)) << i;
               EXPECT_EQ(c.x, e.x) << i;
               EXPECT_EQ(c.y, e.y) << i;
               EXPECT_EQ(c.width, e.width) << i;
               EXPECT_EQ(c.height, e.height) << i;
               EXPECT_EQ(c.id, e.id) << i;
               EXPECT_EQ(c.checked, e.checked) << i;
               EXPECT_EQ(c.fontFamily, "Verdana") << i;
               EXPECT_EQ(c.fontHeight, 13) << i;
               EXPECT_TRUE(c.bold) << i;
             }
             // The box can be ticked only where video capture is available.
             EXPECT_EQ(HeadlessControl(Control("Capture vidéo")).enabled, VideoCaptureAvailable());
             Click("OK");
           },
           [] {
             EXPECT_EQ(Preferences(), nullptr);
             EXPECT_TRUE(HeadlessWindow(HeadlessMainWindow()).enabled);
             EXPECT_EQ(Board().soundsEnabled + Board().ghostEnabled + Board().internetScores, 3);
             EXPECT_EQ(Board().opaqueBackground, 0);
             EXPECT_EQ(Board().keys.rotateLeft, VK_CONTROL);
             EXPECT_TRUE(Board().scoresChanged);
           }});
}

TEST(Preferences, CancelAppliesNothing) {
  RunGame({[] { ClickButton(3); },
           [] {
             Click("Activer les sons");
             Click("Fantôme");
             HeadlessTypeInControl(KeyField(0), 'D', 'd');
             Click("Annuler");
           },
           [] {
             EXPECT_EQ(Preferences(), nullptr);
             EXPECT_EQ(Board().soundsEnabled, 1);
             EXPECT_EQ(Board().ghostEnabled, 1);
             EXPECT_EQ(Board().keys.moveRight, VK_RIGHT);
             EXPECT_FALSE(Board().scoresChanged);
             ClickButton(3);
           },
           [] {
             EXPECT_TRUE(HeadlessControl(Control("Activer les sons")).checked);
             HeadlessCloseWindow(Preferences());  // the close box applies nothing either
           },
           [] {
             EXPECT_EQ(Preferences(), nullptr);
             EXPECT_FALSE(Board().scoresChanged);
             EXPECT_TRUE(HeadlessWindow(HeadlessMainWindow()).enabled);
           }});
}

TEST(Preferences, OpaqueBackgroundWarnsOnEveryClick) {
  RunGame({[] { ClickButton(3); },
           [] {
             Click("Fond opaque");
             Click("Fond opaque");
           },
           [] {
             const std::vector<HeadlessDialog>& dialogs = HeadlessDialogs();
             ASSERT_EQ(dialogs.size(), 2u);
             for (const HeadlessDialog& dialog : dialogs) {
               EXPECT_EQ(dialog.title, "Avertissement");
               EXPECT_EQ(dialog.text, Utf8ToCp1252("Cette modification sera effective au prochain "
                                                   "démarrage du jeu."));
               EXPECT_EQ(dialog.style, MB_OK | MB_ICONINFORMATION);
             }
             EXPECT_TRUE(HeadlessWindow(Preferences()).enabled);
             Click("OK");
           },
           [] { EXPECT_EQ(Board().opaqueBackground, 0); }});
}

TEST(KeyCapture, KeysBindAndTypingNeverEdits) {
  RunGame({[] { ClickButton(3); },
           [] {
             WindowHandle field = KeyField(0);
             HeadlessTypeInControl(field, 'Q', 'q');
             HeadlessDispatchPending();
             EXPECT_EQ(PlatformGetWindowText(field), "Q");
             HeadlessTypeInControl(field, VK_BACK, 8);
             HeadlessDispatchPending();
             EXPECT_EQ(PlatformGetWindowText(field), "Effacer");
             HeadlessTypeInControl(field, 'X', 0, true);  // Alt+X is not captured
             HeadlessDispatchPending();
             EXPECT_EQ(PlatformGetWindowText(field), "Effacer");
             HeadlessTypeInControl(KeyField(1), VK_TAB, 9);
             HeadlessTypeInControl(KeyField(5), 112);  // F1
             Click("OK");
           },
           [] {
             EXPECT_EQ(Board().keys.moveRight, VK_BACK);
             EXPECT_EQ(Board().keys.moveLeft, VK_TAB);
             EXPECT_EQ(Board().keys.moveDown, 112);
             EXPECT_EQ(Board().keys.rotateRight, VK_UP);
             ClickButton(3);
           },
           [] {
             EXPECT_EQ(PlatformGetWindowText(KeyField(5)), "P");
             HeadlessTypeInControl(KeyField(0), 'W', 'w');
             Click("OK");
           },
           [] {
             EXPECT_EQ(Board().keys.moveRight, 'W');
             EXPECT_EQ(Board().keys.moveLeft, VK_TAB);
             ClickButton(5);
           }});
  std::string bytes;
  ASSERT_TRUE(ReadScoreFileBytes(&bytes));
  EXPECT_EQ(bytes.substr(0, 28), "\r\n1|1|1|0\r\n87|9|38|17|40|112");
}

TEST(ModalWindows, RefusedDuringAGameAndReopenable) {
  RunGame({[] { ClickButton(1); },
           [] {
             ClickButton(3);
             ClickButton(4);
           },
           [] {
             EXPECT_EQ(Preferences(), nullptr);
             EXPECT_EQ(HeadlessFindWindow("Aide Kestrow"), nullptr);
             HeadlessPressKey(VK_ESCAPE, 27);
           },
           [] { ClickButton(4); },
           [] {
             WindowHandle help = HeadlessFindWindow("Aide Kestrow");
             ASSERT_NE(help, nullptr);
             HeadlessWindowState state = HeadlessWindow(help);
             EXPECT_EQ(state.x, 1024 / 2 - 300);
             EXPECT_EQ(state.y, 768 / 2 - 250);
             EXPECT_FALSE(HeadlessWindow(HeadlessMainWindow()).enabled);
             std::vector<WindowHandle> children = HeadlessControls(help);
             ASSERT_EQ(children.size(), 1u);
             EXPECT_EQ(
                 HeadlessBrowserAddresses(children[0]),
                 (std::vector<std::string>{"about:blank", "file:///headless/Aide_Kestrow.html"}));
             HeadlessCloseWindow(help);
           },
           [] {
             EXPECT_TRUE(HeadlessWindow(HeadlessMainWindow()).enabled);
             ClickButton(4);
           },
           [] {
             ASSERT_NE(HeadlessFindWindow("Aide Kestrow"), nullptr);
             HeadlessCloseWindow(HeadlessFindWindow("Aide Kestrow"));
           },
           [] { ClickButton(3); },
           [] {
             ASSERT_NE(Preferences(), nullptr);
             HeadlessWindowState state = HeadlessWindow(Preferences());
             EXPECT_EQ(state.x, 1024 / 2 - 125);
             EXPECT_EQ(state.y, 768 / 2 - 165);
             Click("Annuler");
           }});
}

}  // namespace
