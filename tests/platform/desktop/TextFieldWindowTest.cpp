// Text fields in the real window on the offscreen platform: the edit
// commands follow the focused field, copy and paste go through the system
// clipboard, input-method text lands in the field, and typed text shows in
// the window's own repaint.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QInputMethodEvent>
#include <QMenu>
#include <QTest>

#include "platform/desktop/DesktopPlayer.h"
#include "platform/desktop/PlayerWindow.h"
#include "tests/platform/desktop/SourceMovie.h"
#include "tests/support/TempDir.h"

namespace kivra {
namespace {

using namespace command;

// An empty input field, one with text, and a password field, all drawn
// with a device font; nothing has the keyboard at first.
constexpr const char* kFields = R"(movie version=6 size=240x120 rate=12
background #ffffff
font1 1 "../../fonts/LiberationSans-Regular.ttf" chars="K" device
fontinfo 1 name="_sans"
edittext 10 bounds=0,3000,0,400 font=1 height=240 color=#000000 var="typed" flags=border
edittext 11 bounds=0,3000,0,400 font=1 height=240 color=#000000 text="Kivra é" flags=border
edittext 12 bounds=0,3000,0,400 font=1 height=240 color=#000000 text="hush" flags=border,password
place2 1 id=10 name="entry" at=10px,10px
place2 2 id=11 name="filled" at=10px,40px
place2 3 id=12 name="hidden" at=10px,70px
showframe
)";

const QPoint kEntry(40, 20);
const QPoint kFilled(40, 50);
const QPoint kHidden(40, 80);
const QPoint kOutside(220, 110);
// Inside the empty field's border.
const QRect kEntryInside(12, 12, 146, 16);

class TextFieldWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    player.window().show();
    player.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&player.window()));
    ASSERT_TRUE(player.openMovieFile(dir.write("fields.qvx", test::compileSource(kFields))).ok);
    player.stopFrameTimer();  // nothing may change but what the test does
    player.stage().setFocus(Qt::OtherFocusReason);
    QApplication::clipboard()->clear();
  }
  bool enabled(int id) {
    const QAction* a = player.window().action(id);
    EXPECT_NE(a, nullptr) << id;
    return a && a->isEnabled();
  }
  void click(QPoint at) { QTest::mouseClick(&player.stage(), Qt::LeftButton, Qt::NoModifier, at); }
  void command(int id) {
    player.window().action(id)->trigger();
    QApplication::processEvents();
  }
  // The focused field's whole text, read back through Select All and Copy.
  QString fieldText() {
    command(kSelectAll);
    command(kCopy);
    return QApplication::clipboard()->text();
  }
  // What the input method asks the focus object for its caret.
  static QRect caretRect() {
    QInputMethodQueryEvent query(Qt::ImCursorRectangle);
    QCoreApplication::sendEvent(QGuiApplication::focusObject(), &query);
    return query.value(Qt::ImCursorRectangle).toRect();
  }
  QImage shown() { return player.stage().grab().toImage().convertToFormat(QImage::Format_RGB32); }

  test::TempDir dir;
  DesktopPlayer player{CommandLine{}};
};

int darkPixels(const QImage& image, const QRect& area) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++n;
  return n;
}

TEST_F(TextFieldWindow, EditCommandsFollowTheFocusedField) {
  // The shortcuts' actions (Delete is in the popup menu only).
  const int edits[] = {kCut, kCopy, kPaste, kSelectAll};
  for (int id : edits) EXPECT_FALSE(enabled(id)) << id;
  // Over a field the popup is the edit menu, disabled until the field has
  // the keyboard; elsewhere it is the context menu.
  auto over = player.window().popupMenuAt(kFilled);
  ASSERT_EQ(over->actions().size(), 6);
  for (QAction* a : over->actions())
    if (!a->isSeparator()) {
      EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    }
  EXPECT_NE(player.window().popupMenuAt(kOutside)->actions().size(), 6);

  click(kFilled);
  EXPECT_TRUE(enabled(kPaste));
  EXPECT_TRUE(enabled(kSelectAll));
  EXPECT_FALSE(enabled(kCopy));  // nothing selected yet
  command(kSelectAll);
  for (int id : edits) EXPECT_TRUE(enabled(id)) << id;
  command(kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("Kivra é"));
  auto menu = player.window().popupMenuAt(kFilled);
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) {
      EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    }

  // A password field's text never leaves it.
  click(kHidden);
  command(kSelectAll);
  EXPECT_FALSE(enabled(kCopy));
  EXPECT_FALSE(enabled(kCut));
  auto hidden = player.window().popupMenuAt(kHidden);
  EXPECT_TRUE(hidden->actions()[3]->isEnabled());  // Delete
  QTest::keyClick(&player.stage(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("Kivra é"));

  // Clicking away from every field takes the commands away again.
  click(kOutside);
  for (int id : edits) EXPECT_FALSE(enabled(id)) << id;
}

TEST_F(TextFieldWindow, PasteAndShortcutsUseTheSystemClipboard) {
  // A character beyond 16 bits travels as a surrogate pair both ways.
  const QString text = QString::fromUtf8("Grüße, 日本語 😀");
  QApplication::clipboard()->setText(text);
  click(kEntry);
  command(kPaste);
  command(kPaste);
  EXPECT_EQ(fieldText(), text + text);
  // The keyboard's shortcuts: cut empties the field into the clipboard.
  QApplication::clipboard()->setText(QStringLiteral("other"));
  QTest::keyClick(&player.stage(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(&player.stage(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), text + text);
  EXPECT_FALSE(enabled(kSelectAll));  // the field is empty
  QApplication::clipboard()->setText(QStringLiteral("Kivra"));
  QTest::keyClick(&player.stage(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(fieldText(), QStringLiteral("Kivra"));
}

TEST_F(TextFieldWindow, InputMethodTextLandsInTheFocusedField) {
  click(kEntry);
  // What the platform's input method sends goes to the focus object: the
  // stage, which takes input-method events.
  ASSERT_EQ(QGuiApplication::focusObject(), &player.stage());
  EXPECT_TRUE(player.stage().testAttribute(Qt::WA_InputMethodEnabled));
  // The input method's window is placed by the caret: at the empty field's
  // left edge, the height of a line.
  const QRect empty = caretRect();
  EXPECT_TRUE(kEntryInside.adjusted(-2, -2, 2, 2).contains(empty))
      << empty.x() << "," << empty.y() << " " << empty.width() << "x" << empty.height();
  EXPECT_GE(empty.height(), 8);
  EXPECT_LT(empty.x(), 20);
  QInputMethodEvent composing(QStringLiteral("e"), {});
  QCoreApplication::sendEvent(QGuiApplication::focusObject(), &composing);
  EXPECT_FALSE(enabled(kSelectAll));  // preedit text is not in the field yet
  QInputMethodEvent committed;
  committed.setCommitString(QString::fromUtf8("日本語é"));
  QCoreApplication::sendEvent(QGuiApplication::focusObject(), &committed);
  EXPECT_TRUE(committed.isAccepted());
  QInputMethodEvent more;
  more.setCommitString(QString::fromUtf8("ok"));
  QCoreApplication::sendEvent(QGuiApplication::focusObject(), &more);
  EXPECT_EQ(fieldText(), QString::fromUtf8("日本語éok"));
  // Select All moved the caret to the end of the text, to the right.
  const QRect typed = caretRect();
  EXPECT_GT(typed.x(), empty.x() + 10);
  EXPECT_EQ(typed.y(), empty.y());

  // With no field focused the text goes nowhere, and nothing breaks.
  click(kOutside);
  QInputMethodEvent stray;
  stray.setCommitString(QString::fromUtf8("ü"));
  QCoreApplication::sendEvent(QGuiApplication::focusObject(), &stray);
  EXPECT_TRUE(caretRect().isEmpty());
  click(kEntry);
  EXPECT_EQ(fieldText(), QString::fromUtf8("日本語éok"));
}

TEST_F(TextFieldWindow, TypedTextShowsInTheWindowsRepaint) {
  const QImage before = shown();
  EXPECT_EQ(darkPixels(before, kEntryInside), 0);
  click(kEntry);
  QTest::keyClicks(&player.stage(), QStringLiteral("Kivra"));
  QInputMethodEvent committed;
  committed.setCommitString(QString::fromUtf8("é"));
  QCoreApplication::sendEvent(&player.stage(), &committed);
  QApplication::processEvents();
  const QImage typed = shown();
  EXPECT_GT(darkPixels(typed, kEntryInside), 30);
  // The repaint shows what a full redraw of the stage does.
  RenderTarget full;
  ASSERT_TRUE(player.core().redrawInto(full));
  ASSERT_EQ(full.width(), typed.width());
  int differ = 0;
  for (int y = 0; y < full.height(); ++y)
    for (int x = 0; x < full.width(); ++x)
      if ((typed.pixel(x, y) & 0xFFFFFFu) != (full.row(y)[x] & 0xFFFFFFu)) ++differ;
  EXPECT_EQ(differ, 0);
  // Only the field changed.
  for (int y = 0; y < typed.height(); ++y)
    for (int x = 0; x < typed.width(); ++x)
      if (!QRect(10, 10, 150, 20).contains(x, y) && typed.pixel(x, y) != before.pixel(x, y)) {
        ADD_FAILURE() << "pixel " << x << "," << y << " changed outside the field";
        return;
      }
  const std::string artifacts = KIVRA_TEST_ARTIFACTS;
  QDir().mkpath(QString::fromStdString(artifacts));
  typed.save(QString::fromStdString(artifacts + "/typed_field.png"));
}

}  // namespace
}  // namespace kivra
