#pragma once
// The window's printer: the print dialog (page range and selection from
// the job), then the chosen printer through QPrinter. A cancelled dialog,
// or a printer that cannot be opened, prints nothing.
#include <memory>

#include <QPointer>
#include <QPrinter>
#include <QWidget>

#include "platform/qtprint/QtPagePainter.h"

namespace kivra {

class QtDialogPrinter : public QtPagePainter {
 public:
  // The dialog opens over `parent` (not owned).
  explicit QtDialogPrinter(QWidget* parent) : parent_(parent) {}
  ~QtDialogPrinter() override;

  bool printerAvailable() override { return true; }
  bool beginDocument(PrintRange& range, int& pageWidth, int& pageHeight) override;
  bool beginPage() override;
  bool endPage() override { return true; }
  void endDocument() override;

 private:
  QPointer<QWidget> parent_;
  std::unique_ptr<QPrinter> printer_;
  int pages_ = 0;
};

}  // namespace kivra
