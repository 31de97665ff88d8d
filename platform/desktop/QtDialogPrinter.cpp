#include "platform/desktop/QtDialogPrinter.h"

#include <QPrintDialog>

namespace kivra {

QtDialogPrinter::~QtDialogPrinter() {
  if (painter_.isActive()) painter_.end();
}

bool QtDialogPrinter::beginDocument(PrintRange& range, int& pageWidth, int& pageHeight) {
  printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer_->setDocName("Kivra");
  printer_->setFullPage(true);
  printer_->setCopyCount(1);
  printer_->setFromTo(range.first, range.last);
  QPrintDialog dialog(printer_.get(), parent_.data());
  dialog.setMinMax(range.min, range.max);
  QAbstractPrintDialog::PrintDialogOptions options = dialog.options();
  options.setFlag(QAbstractPrintDialog::PrintPageRange, !range.noPageNumbers);
  options.setFlag(QAbstractPrintDialog::PrintSelection, range.printSelection);
  dialog.setOptions(options);
  if (range.printSelection) dialog.setPrintRange(QAbstractPrintDialog::Selection);
  else if (range.first != range.min || range.last != range.max) dialog.setPrintRange(QAbstractPrintDialog::PageRange);
  if (dialog.exec() != QDialog::Accepted) {
    printer_.reset();
    return false;
  }
  if (printer_->printRange() == QPrinter::PageRange && printer_->fromPage() > 0) {
    range.first = printer_->fromPage();
    range.last = printer_->toPage() > 0 ? printer_->toPage() : range.first;
  }
  range.noPageNumbers = !(dialog.options() & QAbstractPrintDialog::PrintPageRange);
  pages_ = 0;
  // With no printer to print to, QPainter does not open.
  if (!painter_.begin(printer_.get())) {
    printer_.reset();
    return false;
  }
  preparePainter();
  pageWidth = printer_->width();
  pageHeight = printer_->height();
  return true;
}

bool QtDialogPrinter::beginPage() {
  if (!printer_ || !painter_.isActive()) return false;
  return pages_++ == 0 || printer_->newPage();
}

void QtDialogPrinter::endDocument() {
  if (painter_.isActive()) painter_.end();
  printer_.reset();
}

}  // namespace kivra
