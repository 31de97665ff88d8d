#include "platform/desktop/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace kivra {

std::string QtClipboard::clipboardText() {
  const QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return {};
  return clipboard->text(QClipboard::Clipboard).toStdString();
}

void QtClipboard::setClipboardText(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return;
  clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
}

}  // namespace kivra
