#include "platform/desktop/Dialogs.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kivra {

namespace {
constexpr const char* kProductName = "Vantorel Kivra Player 6";

// The product icon: drawn, so that the player carries no image files.
QPixmap productIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2a, 0x5d, 0xb0));
  p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 5.0, size / 5.0);
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(size * 2 / 3);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("K"));
  return pixmap;
}
}  // namespace

QString movieFileFilter() {
  return QStringLiteral("Vantorel Kivra movie (*.qvx *.qvp);;All Files (*)");
}

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QString::fromUtf8(kProductName));
  auto* icon = new QLabel(this);
  icon->setPixmap(productIcon(48));
  icon->setAlignment(Qt::AlignTop);
  auto* name = new QLabel(QString::fromUtf8(kProductName), this);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  auto* version = new QLabel(QStringLiteral("Version 6,0,95,0"), this);
  auto* note = new QLabel(QStringLiteral("Plays Kivra movies (.qvx) on this desktop."), this);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* lines = new QVBoxLayout;
  lines->addWidget(name);
  lines->addWidget(version);
  lines->addWidget(note);
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addLayout(lines, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  // Escape (Cancel) closes it as OK does: QDialog rejects on Escape.
}

OpenLocationDialog::OpenLocationDialog(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Open"));
  auto* text = new QLabel(
      QStringLiteral("Enter the World Wide Web location (URL) or specify the local file you "
                     "would like to open."),
      this);
  text->setWordWrap(true);
  auto* label = new QLabel(QStringLiteral("Location:"), this);
  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("location"));
  label->setBuddy(field_);
  field_->setMinimumWidth(320);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  ok_->setEnabled(false);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
  // Buttons take no focus on a click, so that focus stays where it was set.
  browse->setAutoDefault(false);
  cancel->setAutoDefault(false);

  connect(field_, &QLineEdit::textChanged, this, [this](const QString& t) { ok_->setEnabled(!t.isEmpty()); });
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, [this] { this->browse(); });

  auto* row = new QHBoxLayout;
  row->addWidget(label);
  row->addWidget(field_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(browse);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(row);
  layout->addLayout(buttons);
  field_->setFocus(Qt::OtherFocusReason);
}

QString OpenLocationDialog::location() const { return field_->text(); }

void OpenLocationDialog::setLocation(const QString& text) { field_->setText(text); }

void OpenLocationDialog::fileChosen(const QString& path) {
  if (path.isEmpty()) return;
  field_->setText(path);
  ok_->setFocus(Qt::OtherFocusReason);
}

void OpenLocationDialog::browse() {
  // Only existing files can be chosen.
  QFileDialog dialog(this, QStringLiteral("Open"), QString(), movieFileFilter());
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("qvx"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    fileChosen(dialog.selectedFiles().first());
}

}  // namespace kivra
