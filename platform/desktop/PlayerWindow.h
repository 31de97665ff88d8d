#pragma once
// The player's top-level window and its client area. The client area
// (StageWidget) is the movie's stage: it paints the core's off-screen bitmap
// and forwards mouse, keyboard and focus changes to the core. The frame
// window takes dropped movie files.
#include <unordered_map>

#include <QMainWindow>
#include <QWidget>

#include "core/movie/KeyEvent.h"

namespace kivra {

class DesktopPlayer;

class StageWidget : public QWidget {
 public:
  StageWidget(DesktopPlayer& player, QWidget* parent);

  // The colour painted while no movie is loaded.
  void setEmptyColour(const QColor& colour);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Tab belongs to the movie, not to widget focus navigation.
  bool focusNextPrevChild(bool next) override;

 private:
  void typeText(const QString& text);
  static quint32 physicalKey(const QKeyEvent* event);

  DesktopPlayer& player_;
  // The code each held key went down with, so that its release carries the
  // same code even when Shift was let go first.
  std::unordered_map<quint32, KeyEvent> heldKeys_;
  QColor emptyColour_;
};

class PlayerWindow : public QMainWindow {
 public:
  explicit PlayerWindow(DesktopPlayer& player);

  StageWidget& stage() { return *stage_; }
  // Resizes the window so that the stage (the client area) is width x height.
  void resizeClientTo(int width, int height);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  DesktopPlayer& player_;
  StageWidget* stage_;
};

}  // namespace kivra
