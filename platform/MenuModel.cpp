#include "platform/MenuModel.h"

#include <iterator>

namespace kivra {

namespace {
using K = MenuEntry::Kind;
using namespace command;

constexpr MenuEntry item(int id, const char* text) { return MenuEntry{K::Item, id, text}; }
constexpr MenuEntry separator() { return MenuEntry{K::Separator, 0, ""}; }
constexpr MenuEntry submenu(const char* text) { return MenuEntry{K::BeginSubmenu, 0, text}; }
constexpr MenuEntry endSubmenu() { return MenuEntry{K::EndSubmenu, 0, ""}; }

constexpr MenuEntry kFileMenu[] = {
    item(kOpen, "&Open...\tCtrl+O"),
    item(kClose, "&Close\tCtrl+W"),
    separator(),
    item(kPrint, "Print..."),
    separator(),
    item(kCreateProjector, "C&reate Projector..."),
    separator(),
    item(kExit, "E&xit\tCtrl+Q"),
};

constexpr MenuEntry kViewMenu[] = {
    item(kActualSize, "100%"),
    item(kShowAll, "Show &All"),
    separator(),
    item(kZoomIn, "Zoom &In"),
    item(kZoomOut, "Zoom &Out"),
    separator(),
    item(kFullScreen, "Full &Screen\tCtrl+F"),
    separator(),
    submenu("Quality"),
    item(kQualityLow, "Low"),
    item(kQualityMedium, "Medium"),
    item(kQualityHigh, "&High Quality\tCtrl+H"),
    endSubmenu(),
};

constexpr MenuEntry kControlMenu[] = {
    item(kPlay, "&Play\tCtrl+Enter"),
    item(kRewind, "&Rewind\tCtrl+R"),
    separator(),
    item(kStepForward, "Step &Forward\tCtrl+->"),
    item(kStepBack, "Step &Back\tCtrl+<-"),
    separator(),
    item(kLoop, "&Loop"),
};

constexpr MenuEntry kHelpMenu[] = {
    item(kAbout, "About Vantorel Kivra Player 6..."),
};

constexpr MenuDefinition kMenuBar[] = {
    {"&File", kFileMenu},
    {"&View", kViewMenu},
    {"&Control", kControlMenu},
    {"&Help", kHelpMenu},
};

// Positions 1-20; the Quality submenu counts as one.
constexpr MenuEntry kContextMenu[] = {
    item(kZoomInAtPoint, "Zoom In"),
    item(kZoomOut, "Zoom Out"),
    item(kActualSize, "100%"),
    item(kShowAll, "Show All"),
    separator(),
    submenu("Quality"),
    item(kQualityLow, "Low"),
    item(kQualityMedium, "Medium"),
    item(kQualityHigh, "High"),
    endSubmenu(),
    separator(),
    item(kPlay, "Play"),
    item(kLoop, "Loop"),
    separator(),
    item(kRewind, "Rewind"),
    item(kStepForward, "Forward"),
    item(kStepBack, "Back"),
    item(kMovieNotLoaded, "Movie not loaded..."),
    separator(),
    item(kSettings, "Settings..."),
    separator(),
    item(kPrint, "Print..."),
    separator(),
    item(kAboutFromContextMenu, "About Vantorel Kivra Player 6..."),
};

constexpr MenuEntry kEditMenu[] = {
    item(kCut, "Cu&t"),
    item(kCopy, "&Copy"),
    item(kPaste, "&Paste"),
    item(kDelete, "&Delete"),
    separator(),
    item(kSelectAll, "Select &All"),
};

constexpr Accelerator kAccelerators[] = {
    {"Ctrl+O", kOpen},         {"Ctrl+W", kClose},          {"Ctrl+Q", kExit},
    {"Ctrl+F", kFullScreen},   {"Ctrl+H", kQualityHigh},    {"Ctrl+R", kRewind},
    {"Ctrl+Return", kPlay},    {"Ctrl+Enter", kPlay},       {"Ctrl+Left", kStepBack},
    {"Ctrl+Right", kStepForward}, {"Esc", kLeaveFullScreen}, {"Ctrl+A", kSelectAll},
    {"Ctrl+C", kCopy},         {"Ctrl+V", kPaste},          {"Ctrl+X", kCut},
    {"Alt+/", kAbout},         {"Alt+?", kAbout},
};

// Indices into kContextMenu that the pruned menus keep. The Quality submenu
// (indices 5 to 9) counts as the one position 5.
constexpr int kQualityFirst = 5;
constexpr int kQualityLast = 9;
// "Movie not loaded...", the separator after it, About.
constexpr int kKeptWithoutMovie[] = {17, 18, 23};
// "Settings...", the separator after it, About.
constexpr int kKeptWithHiddenMenu[] = {19, 20, 23};
// The playback group, the separators that open and split it, and the
// placeholder.
constexpr int kPlaybackFirst = 10;
constexpr int kPlaybackLast = 17;

bool contains(std::span<const int> list, int v) {
  for (const int x : list)
    if (x == v) return true;
  return false;
}
}  // namespace

std::span<const MenuDefinition> menuBarMenus() { return kMenuBar; }
std::span<const MenuEntry> fullContextMenu() { return kContextMenu; }
std::span<const MenuEntry> editMenu() { return kEditMenu; }
std::span<const Accelerator> accelerators() { return kAccelerators; }

MenuInputs menuInputsOf(const CorePlayer& player, bool embedded) {
  MenuInputs in;
  in.movieReady = player.movieReady();
  in.embedded = embedded;
  in.showMenu = player.showMenu();
  if (const TimelinePlayer* root = player.level0()) {
    in.bufferComplete = root->movie().complete();
    in.frameCount = root->frameCount();
    in.currentFrame = root->currentFrame();
    in.playing = root->playing();
    in.loop = root->loop();
  }
  in.zoomed = player.zoomed();
  in.scaleMode = player.scaleMode();
  in.quality = player.quality();
  in.edit = player.textEditAbilities();
  in.printingAllowed = player.printingAllowed();
  in.settingsAvailable = player.settingsAvailable();
  return in;
}

CommandState commandState(const MenuInputs& in, int id) {
  const bool ready = in.movieReady;
  const bool severalFrames = ready && in.frameCount > 1;
  const bool fileCommands = !in.embedded && in.bufferComplete;
  const bool noScale = in.scaleMode == ScaleMode::NoScale;
  // Best draws like High as far as the menu is concerned.
  const Quality q = in.quality == Quality::Best ? Quality::High : in.quality;
  switch (id) {
    case kShowAll: return {ready, !in.zoomed && !noScale};
    case kZoomIn:
    case kZoomInAtPoint: return {ready, false};
    case kZoomOut: return {ready && in.zoomed, false};
    case kActualSize: return {ready, noScale};
    case kQualityLow: return {true, q == Quality::Low};
    case kQualityMedium: return {true, q == Quality::Medium};
    case kQualityHigh: return {true, q == Quality::High};
    case kPlay: return {severalFrames, in.playing};
    case kLoop: return {severalFrames, in.loop};
    case kRewind:
    case kStepBack: return {in.currentFrame > 0, false};
    // The root is at its end on its last frame.
    case kStepForward: return {ready && in.currentFrame + 1 < in.frameCount, false};
    case kCut: return {in.edit.cut, false};
    case kCopy: return {in.edit.copy, false};
    case kPaste: return {in.edit.paste, false};
    case kDelete: return {in.edit.clear, false};
    case kSelectAll: return {in.edit.selectAll, false};
    case kPrint: return {in.printingAllowed, false};
    case kSettings: return {in.settingsAvailable, false};
    case kOpen: return {!in.embedded, false};
    case kClose:
    case kCreateProjector: return {fileCommands, false};
    case kMovieNotLoaded: return {false, false};
    default: return {true, false};
  }
}

bool isCheckable(int id) {
  switch (id) {
    case kShowAll:
    case kActualSize:
    case kQualityLow:
    case kQualityMedium:
    case kQualityHigh:
    case kPlay:
    case kLoop: return true;
    default: return false;
  }
}

std::vector<MenuEntry> contextMenu(const MenuInputs& in) {
  std::vector<MenuEntry> out;
  for (int at = 0; at < static_cast<int>(std::size(kContextMenu)); ++at) {
    const MenuEntry& e = kContextMenu[at];
    const int position = at >= kQualityFirst && at <= kQualityLast ? kQualityFirst : at;
    bool keep;
    if (!in.movieReady)
      keep = contains(kKeptWithoutMovie, position);
    else if (!in.showMenu)
      keep = contains(kKeptWithHiddenMenu, position);
    else if (in.frameCount <= 1)
      keep = position < kPlaybackFirst || position > kPlaybackLast;
    else
      keep = e.id != kMovieNotLoaded;
    if (keep) out.push_back(e);
  }
  return out;
}

}  // namespace kivra
