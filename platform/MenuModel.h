#pragma once
// The player's menus as data: command identifiers, the menu bar, context and
// edit menus, and the rules that enable and check their items. No GUI
// library here, so the rules are tested on their own and any host can build
// its widgets from these tables.
#include <cstdint>
#include <span>
#include <vector>

#include "core/CorePlayer.h"

namespace kivra {

namespace command {
constexpr int kOpen = 20002;
constexpr int kExit = 20007;
constexpr int kAbout = 20017;
constexpr int kRewind = 20025;
constexpr int kZoomOut = 20030;
constexpr int kZoomIn = 20033;  // about the view centre
constexpr int kShowAll = 20034;
constexpr int kQualityLow = 20035;
constexpr int kQualityMedium = 20036;
constexpr int kQualityHigh = 20037;
constexpr int kPlay = 20039;
constexpr int kStepForward = 20040;
constexpr int kStepBack = 20041;
constexpr int kZoomInAtPoint = 20042;  // about the right-clicked point
constexpr int kLoop = 20043;
constexpr int kAboutFromContextMenu = 20044;
constexpr int kMovieNotLoaded = 20045;
constexpr int kActualSize = 20046;
constexpr int kCreateProjector = 20047;
constexpr int kFullScreen = 20048;
constexpr int kLeaveFullScreen = 20050;
constexpr int kClose = 20051;
constexpr int kPrint = 20054;
constexpr int kSettings = 20058;
constexpr int kDelete = 57632;
constexpr int kCopy = 57634;
constexpr int kCut = 57635;
constexpr int kPaste = 57637;
constexpr int kSelectAll = 57642;
}  // namespace command

// One line of a menu table. A submenu's items follow its Begin line up to
// the matching End line.
struct MenuEntry {
  enum class Kind : uint8_t { Item, Separator, BeginSubmenu, EndSubmenu };
  Kind kind = Kind::Item;
  int id = 0;
  const char* text = "";  // "&" marks the mnemonic, "\t" starts the shortcut text
  bool operator==(const MenuEntry&) const = default;
};

struct MenuDefinition {
  const char* title;
  std::span<const MenuEntry> entries;
};

// A keyboard shortcut: a key sequence in portable text ("Ctrl+O").
struct Accelerator {
  const char* keys;
  int id;
};

// The menu bar's menus in order: File, View, Control, Help.
std::span<const MenuDefinition> menuBarMenus();
// All 20 positions of the context menu, before pruning.
std::span<const MenuEntry> fullContextMenu();
std::span<const MenuEntry> editMenu();
std::span<const Accelerator> accelerators();

// Everything the rules look at, taken from the player before a menu shows.
struct MenuInputs {
  bool movieReady = false;      // header parsed, status good
  bool bufferComplete = false;  // a level-0 movie buffer exists, fully loaded
  bool embedded = false;
  bool showMenu = true;  // the movie's wish
  int frameCount = 0;
  int currentFrame = 0;
  bool playing = false;
  bool loop = false;
  bool zoomed = false;
  ScaleMode scaleMode = ScaleMode::ShowAll;
  Quality quality = Quality::High;
  TextEditAbilities edit;
  bool printingAllowed = false;
  bool settingsAvailable = false;
};

MenuInputs menuInputsOf(const CorePlayer& player, bool embedded);

struct CommandState {
  bool enabled = false;
  bool checked = false;
  bool operator==(const CommandState&) const = default;
};

// Whether a command is enabled and checked. Commands without a rule (Exit,
// About, Full Screen) are always enabled.
CommandState commandState(const MenuInputs& in, int id);
// Whether a command's item shows a check mark at all.
bool isCheckable(int id);

// The context menu for the player's state: the full list with the
// positions that do not apply removed.
std::vector<MenuEntry> contextMenu(const MenuInputs& in);

}  // namespace kivra
