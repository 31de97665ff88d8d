#pragma once
// The player's top-level window and its client area. The client area
// (StageWidget) is the movie's stage: it paints the core's off-screen bitmap
// and forwards mouse, keyboard and focus changes to the core. Sizes and
// input are in Qt's logical pixels; on a high-density screen the bitmap is
// drawn at device pixels (the widget's device pixel ratio). The frame
// window carries the menu bar and the shortcuts and takes dropped movie
// files.
#include <memory>
#include <span>
#include <string>
#include <unordered_map>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QWidget>

#include "platform/MenuModel.h"

#include "core/input/KeyEvent.h"
#include "core/render/RenderTarget.h"

namespace kivra {

class DesktopPlayer;

// Builds a menu from a table; every item runs its command on the player and
// shows the state the player gives it. Items of the same command in other
// menus stay separate actions.
void fillMenu(QMenu& menu, std::span<const MenuEntry> entries, DesktopPlayer& player,
              std::unordered_map<int, QAction*>* actions);

class StageWidget : public QWidget {
 public:
  // What the stage shows while no movie is loaded.
  static constexpr const char* kEmptyHint =
      "Open a movie with File \u2192 Open (Ctrl+O) or drop a .qvx file here";

  StageWidget(DesktopPlayer& player, QWidget* parent);

  // The colour painted while no movie is loaded.
  void setEmptyColour(const QColor& colour);
  // A new movie starts: the last picture painted is not one of its own.
  void forgetPicture() { picture_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // While the movie traps all keys, shortcuts give way to it.
  bool event(QEvent* event) override;
  // Tab belongs to the movie, not to widget focus navigation.
  bool focusNextPrevChild(bool next) override;

 private:
  void typeText(const QString& text);
  void refreshEditCommands();
  static quint32 physicalKey(const QKeyEvent* event);
  void paintEmpty(QPainter& painter, const QRect& area);
  // While the core is busy: the picture rendered last, else the movie's
  // background colour.
  void paintLastPicture(QPainter& painter, const QRect& area);

  DesktopPlayer& player_;
  // The code each held key went down with, so that its release carries the
  // same code even when Shift was let go first.
  std::unordered_map<quint32, KeyEvent> heldKeys_;
  QColor emptyColour_;
  // The core's bitmap as last rendered; its pixels change only when the
  // core renders again, which it cannot do while it is busy.
  const RenderTarget* picture_ = nullptr;
  double pictureRatio_ = 1.0;  // its pixels per client pixel
};

class PlayerWindow : public QMainWindow {
 public:
  explicit PlayerWindow(DesktopPlayer& player);

  StageWidget& stage() { return *stage_; }
  // Resizes the window so that the stage (the client area) is width x height.
  void resizeClientTo(int width, int height);

  // The menu-bar and shortcut action of a command, or null.
  QAction* action(int id) const;
  // Enables and checks every action as the player's state says.
  void refreshCommandStates();
  // The menu a right click at client point `at` opens: the edit menu over a
  // text field, else the context menu pruned for the player's state.
  std::unique_ptr<QMenu> popupMenuAt(QPoint at);
  // Opens that menu at the pointer and runs the chosen command.
  void showPopupMenu(QPoint at, QPoint global);
  // "NAME – Kivra Player" with the level-0 movie's file name, else the
  // application name alone.
  void refreshTitle();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void buildMenus();

  DesktopPlayer& player_;
  StageWidget* stage_;
  std::unordered_map<int, QAction*> actions_;
  std::string titleUrl_;  // the movie the title names, empty for none
  bool titled_ = false;
};

}  // namespace kivra
