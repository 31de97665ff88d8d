#include "platform/desktop/PlayerWindow.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QList>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QUrl>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/KeyTranslation.h"

namespace kivra {

void fillMenu(QMenu& menu, std::span<const MenuEntry> entries, DesktopPlayer& player,
              std::unordered_map<int, QAction*>* actions) {
  std::vector<QMenu*> open{&menu};
  for (const MenuEntry& e : entries) {
    QMenu& into = *open.back();
    switch (e.kind) {
      case MenuEntry::Kind::Separator:
        into.addSeparator();
        break;
      case MenuEntry::Kind::BeginSubmenu:
        open.push_back(into.addMenu(QString::fromUtf8(e.text)));
        break;
      case MenuEntry::Kind::EndSubmenu:
        if (open.size() > 1) open.pop_back();
        break;
      case MenuEntry::Kind::Item: {
        QAction* a = into.addAction(QString::fromUtf8(e.text));
        a->setData(e.id);
        a->setCheckable(isCheckable(e.id));
        const int id = e.id;
        QObject::connect(a, &QAction::triggered, a, [&player, id] { player.runCommand(id); });
        if (actions) (*actions)[id] = a;
        break;
      }
    }
  }
}

// ---- StageWidget ------------------------------------------------------------

StageWidget::StageWidget(DesktopPlayer& player, QWidget* parent)
    : QWidget(parent), player_(player), emptyColour_(Qt::white) {
  // Every paint covers the whole exposed area, so Qt need not erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_InputMethodEnabled);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
}

void StageWidget::setEmptyColour(const QColor& colour) {
  emptyColour_ = colour;
  update();
}

namespace {
// The core's pixels are already premultiplied 0xAARRGGBB words: wrap the
// rows as they are, no copy. A bitmap drawn at `ratio` pixels per client
// pixel says so, so that Qt draws it one to one on a high-density screen.
QImage wrapPixels(const RenderTarget& target, double ratio) {
  QImage image(reinterpret_cast<const uchar*>(target.pixels()), target.width(), target.height(),
               static_cast<qsizetype>(target.width()) * 4, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  return image;
}

// Copies the part of `image` under the client rectangle `area`, on whole
// image pixels (outward) so that nothing is resampled.
void drawPart(QPainter& painter, const QImage& image, const QRect& area) {
  const double ratio = image.devicePixelRatio();
  const QRect pixels = QRect(QPoint(static_cast<int>(std::floor(area.left() * ratio)),
                                    static_cast<int>(std::floor(area.top() * ratio))),
                             QPoint(static_cast<int>(std::ceil((area.right() + 1) * ratio)) - 1,
                                    static_cast<int>(std::ceil((area.bottom() + 1) * ratio)) - 1)) &
                       image.rect();
  if (pixels.isEmpty()) return;
  const QRectF client(pixels.x() / ratio, pixels.y() / ratio, pixels.width() / ratio, pixels.height() / ratio);
  painter.drawImage(client, image, QRectF(pixels));
}
}  // namespace

void StageWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect();
  if (!player_.core().hasMovie()) {
    paintEmpty(painter, area);
    return;
  }
  // Rendering would re-enter the core.
  if (player_.coreBusy()) {
    paintLastPicture(painter, area);
    return;
  }
  // The screen decides how fine the stage is drawn; a move to another
  // screen repaints, and a new ratio redraws the whole stage.
  player_.core().setPixelRatio(devicePixelRatioF());
  const RenderTarget& target = player_.core().render();
  if (target.empty()) {
    picture_ = nullptr;
    const Rgba bg = player_.core().backgroundColor();
    painter.fillRect(area, QColor(bg.r, bg.g, bg.b));
    return;
  }
  picture_ = &target;
  pictureRatio_ = player_.core().pixelRatio();
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  drawPart(painter, wrapPixels(target, pictureRatio_), area);
}

void StageWidget::paintEmpty(QPainter& painter, const QRect& area) {
  painter.fillRect(area, emptyColour_);
  // A projector takes no other movie: no hint there.
  if (player_.embedded()) return;
  painter.setPen(emptyColour_.lightness() > 128 ? QColor(96, 96, 96) : QColor(208, 208, 208));
  const int margin = std::min(width(), height()) / 10;
  painter.drawText(rect().adjusted(margin, margin, -margin, -margin), Qt::AlignCenter | Qt::TextWordWrap,
                   QString::fromUtf8(kEmptyHint));
}

void StageWidget::paintLastPicture(QPainter& painter, const QRect& area) {
  const Rgba bg = player_.core().backgroundColor();
  const QColor background(bg.r, bg.g, bg.b);
  if (!picture_ || picture_->empty()) {
    painter.fillRect(area, background);
    return;
  }
  // The window may have changed size since: the rest is background. On a
  // screen of another density Qt scales the old picture.
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(area, background);
  drawPart(painter, wrapPixels(*picture_, pictureRatio_), area);
}

void StageWidget::mouseMoveEvent(QMouseEvent* event) {
  if (player_.coreBusy()) return;
  const QPoint p = event->position().toPoint();
  player_.core().mouseMove(p.x(), p.y());
}

void StageWidget::mousePressEvent(QMouseEvent* event) {
  if (player_.coreBusy()) return;
  if (event->button() == Qt::RightButton) {
    player_.window().showPopupMenu(event->position().toPoint(), event->globalPosition().toPoint());
    return;
  }
  // Double clicks arrive here too (QWidget's default), as a second press.
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  const QPoint p = event->position().toPoint();
  player_.core().mouseMove(p.x(), p.y());
  // Qt grabs the mouse implicitly until the release.
  player_.core().mouseDown();
}

void StageWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (player_.coreBusy() || event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  player_.core().mouseMove(p.x(), p.y());
  player_.core().mouseUp();
  // The leave that happened during the grab was held back: report it now.
  if (!rect().contains(p)) player_.core().mouseLeft();
  refreshEditCommands();
}

void StageWidget::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (player_.coreBusy()) return;
  // While the button is held the pointer stays the movie's until release.
  if (QGuiApplication::mouseButtons() & Qt::LeftButton) return;
  player_.core().mouseLeft();
}

void StageWidget::keyPressEvent(QKeyEvent* event) {
  if (player_.coreBusy()) return;
  const KeyEvent key = translateKey(event->key(), event->modifiers(), event->text());
  if (key.code != 0) {
    heldKeys_[physicalKey(event)] = key;
    player_.core().keyDown(key);
  }
  typeText(event->text());
  refreshEditCommands();
}

void StageWidget::keyReleaseEvent(QKeyEvent* event) {
  // Auto-repeat sends press/release pairs; the core sees repeated key downs
  // and one key up at the end.
  if (player_.coreBusy() || event->isAutoRepeat()) return;
  KeyEvent key = translateKey(event->key(), event->modifiers(), event->text());
  const auto held = heldKeys_.find(physicalKey(event));
  if (held != heldKeys_.end()) {
    key.code = held->second.code;
    key.virtualKey = held->second.virtualKey;
    heldKeys_.erase(held);
  }
  if (key.code != 0) player_.core().keyUp(key);
}

quint32 StageWidget::physicalKey(const QKeyEvent* event) {
  // The scan code names the physical key; platforms without one fall back
  // on the Qt key, kept apart by the top bit.
  if (event->nativeScanCode() != 0) return event->nativeScanCode();
  return 0x80000000u | static_cast<quint32>(event->key());
}

void StageWidget::inputMethodEvent(QInputMethodEvent* event) {
  if (player_.coreBusy()) return;
  event->accept();
  const QString text = event->commitString();
  if (text.isEmpty()) return;
  // A field that takes typing gets the composed text in one edit; with no
  // such field the characters go one by one, as buttons' key conditions
  // expect.
  if (!player_.core().textEditAbilities().paste) {
    typeText(text);
    return;
  }
  std::u16string units;
  units.reserve(static_cast<size_t>(text.size()));
  for (const QChar c : text)
    if (deliversTypedCharacter(c.unicode())) units.push_back(static_cast<char16_t>(c.unicode()));
  if (!units.empty()) player_.core().typeText(units);
  refreshEditCommands();
}

QVariant StageWidget::inputMethodQuery(Qt::InputMethodQuery query) const {
  // The input method's window opens beside the focused field's caret.
  if (query == Qt::ImCursorRectangle) {
    int x = 0, y = 0, w = 0, h = 0;
    if (player_.core().textCaretRect(x, y, w, h)) return QRect(x, y, w, h);
    return QRect();
  }
  return QWidget::inputMethodQuery(query);
}

void StageWidget::refreshEditCommands() {
  // A click or key may have moved the focus into or out of a field, or
  // changed its selection: the edit shortcuts follow at once, not at the
  // next frame.
  if (!player_.quitRequestedByMovie()) player_.window().refreshCommandStates();
  // The input method follows the caret.
  if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void StageWidget::typeText(const QString& text) {
  for (const uint c : text.toUcs4())
    if (deliversTypedCharacter(c)) player_.core().typedCharacter(c);
}

void StageWidget::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  if (player_.coreBusy()) {
    player_.focusChangedWhileBusy();
    return;
  }
  player_.core().focusChanged(true);
}

void StageWidget::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  // Releases that happen elsewhere never reach us.
  heldKeys_.clear();
  if (player_.coreBusy()) {
    player_.focusChangedWhileBusy();
    return;
  }
  // A press whose release will go to another window: the mouse capture is lost.
  if (player_.core().input().mouseIsDown()) player_.core().captureLost();
  player_.core().focusChanged(false);
}

bool StageWidget::focusNextPrevChild(bool) { return false; }

bool StageWidget::event(QEvent* event) {
  // Accepting the override hands the key to keyPressEvent instead of the
  // shortcut.
  if (event->type() == QEvent::ShortcutOverride && player_.trapAllKeys()) {
    event->accept();
    return true;
  }
  // On another screen, or a screen whose scale changed, the stage is drawn
  // again at the new pixel ratio (paintEvent passes it to the core).
  if (event->type() == QEvent::ScreenChangeInternal
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
      || event->type() == QEvent::DevicePixelRatioChange
#endif
  )
    update();
  return QWidget::event(event);
}

// ---- PlayerWindow -------------------------------------------------------------

PlayerWindow::PlayerWindow(DesktopPlayer& player) : player_(player) {
  setWindowTitle(QString::fromUtf8(DesktopPlayer::kAppName));
  stage_ = new StageWidget(player, this);
  setCentralWidget(stage_);
  setAcceptDrops(true);
  buildMenus();
}

void PlayerWindow::buildMenus() {
  for (const MenuDefinition& def : menuBarMenus()) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(def.title));
    fillMenu(*menu, def.entries, player_, &actions_);
    // The state is computed just before a menu shows.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [this] { refreshCommandStates(); });
  }
  // Shortcuts whose command has no menu-bar item get an action of their own.
  std::unordered_map<int, QList<QKeySequence>> keys;
  for (const Accelerator& acc : accelerators()) keys[acc.id].append(QKeySequence(QString::fromUtf8(acc.keys)));
  for (auto& [id, sequences] : keys) {
    QAction*& a = actions_[id];
    if (!a) {
      a = new QAction(this);
      a->setData(id);
      const int command = id;
      QObject::connect(a, &QAction::triggered, a, [this, command] { player_.runCommand(command); });
    }
    a->setShortcuts(sequences);
  }
  // Shortcuts must work while the menu bar is hidden: the window carries
  // every action too.
  for (auto& entry : actions_) addAction(entry.second);
  refreshCommandStates();
}

QAction* PlayerWindow::action(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void PlayerWindow::refreshCommandStates() {
  const MenuInputs inputs = player_.menuInputs();
  for (auto& [id, a] : actions_) {
    const CommandState state = commandState(inputs, id);
    a->setEnabled(state.enabled);
    if (a->isCheckable()) a->setChecked(state.checked);
  }
  refreshTitle();
}

void PlayerWindow::refreshTitle() {
  const TimelinePlayer* root = player_.core().hasMovie() ? player_.core().level0() : nullptr;
  const std::string url = root ? root->url() : std::string();
  if (titled_ && url == titleUrl_) return;
  titled_ = true;
  titleUrl_ = url;
  const QString app = QString::fromUtf8(DesktopPlayer::kAppName);
  const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(url))).fileName();
  setWindowTitle(name.isEmpty() ? app : name + QStringLiteral(" \u2013 ") + app);
}

std::unique_ptr<QMenu> PlayerWindow::popupMenuAt(QPoint at) {
  auto menu = std::make_unique<QMenu>(this);
  const MenuInputs inputs = player_.menuInputs();
  if (player_.core().textFieldAt(at.x(), at.y())) {
    fillMenu(*menu, editMenu(), player_, nullptr);
  } else {
    const std::vector<MenuEntry> entries = contextMenu(inputs);
    fillMenu(*menu, entries, player_, nullptr);
  }
  // Submenus are children of the menu: find their actions too.
  for (QAction* a : menu->findChildren<QAction*>()) {
    if (!a->data().isValid()) continue;
    const CommandState state = commandState(inputs, a->data().toInt());
    a->setEnabled(state.enabled);
    if (a->isCheckable()) a->setChecked(state.checked);
  }
  return menu;
}

void PlayerWindow::showPopupMenu(QPoint at, QPoint global) {
  if (player_.coreBusy()) return;
  player_.setContextPoint(at.x(), at.y());
  std::unique_ptr<QMenu> menu = popupMenuAt(at);
  menu->exec(global);
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
  // Closing in the middle of a script: the script is aborted and the
  // window closes when the core has returned.
  if (player_.coreBusy()) {
    event->ignore();
    player_.closeWhenIdle();
    return;
  }
  QMainWindow::closeEvent(event);
}

bool PlayerWindow::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && player_.trapAllKeys()) {
    event->accept();
    return true;
  }
  return QMainWindow::event(event);
}

void PlayerWindow::resizeClientTo(int width, int height) {
  // Window size = old size + wanted client - current client, twice: the
  // second pass corrects for a menu bar that wrapped after the first.
  for (int pass = 0; pass < 2; ++pass) {
    if (QLayout* l = layout()) {
      // A hidden window's layout is not re-run by resize(); do it by hand so
      // that the stage's geometry is current.
      l->invalidate();
      l->activate();
    }
    const QSize client = stage_->size();
    resize(size() + QSize(width, height) - client);
  }
  if (QLayout* l = layout()) {
    l->invalidate();
    l->activate();
  }
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (player_.coreBusy() || player_.embedded() || !event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void PlayerWindow::dropEvent(QDropEvent* event) {
  if (player_.coreBusy() || player_.embedded()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    event->acceptProposedAction();
    const std::string path = QFile::encodeName(url.toLocalFile()).toStdString();
    // Opened from the event loop: the drag source need not wait for the
    // movie's first frame, nor the drop for a long first-frame script.
    QMetaObject::invokeMethod(this, [this, path] { (void)player_.openDroppedFile(path); /* failures show in a message box */ }, Qt::QueuedConnection);
    return;  // only the first file counts
  }
}

}  // namespace kivra
