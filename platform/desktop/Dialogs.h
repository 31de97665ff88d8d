#pragma once
// The player's two dialogs: About, and Open Location (a URL or a local file
// to open as the movie). Both are centred over the player window.
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace kivra {

class AboutDialog : public QDialog {
 public:
  explicit AboutDialog(QWidget* owner);
};

class OpenLocationDialog : public QDialog {
 public:
  explicit OpenLocationDialog(QWidget* owner);

  QString location() const;
  void setLocation(const QString& text);
  // What Browse does with a chosen file: fill the field, focus OK.
  void fileChosen(const QString& path);
  QPushButton* okButton() const { return ok_; }

 private:
  void browse();

  QLineEdit* field_;
  QPushButton* ok_;
};

// The filter of the open-file dialogs: movies first, then everything.
QString movieFileFilter();

}  // namespace kivra
