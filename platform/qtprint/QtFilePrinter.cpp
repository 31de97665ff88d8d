#include "platform/qtprint/QtFilePrinter.h"

#include <QDir>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>

namespace kivra {

QtFilePrinter::QtFilePrinter(std::string path) : path_(std::move(path)) {}

QtFilePrinter::~QtFilePrinter() {
  if (painter_.isActive()) painter_.end();
}

bool QtFilePrinter::pdf() const {
  return path_.size() >= 4 && QString::fromStdString(path_.substr(path_.size() - 4)).toLower() == ".pdf";
}

bool QtFilePrinter::beginDocument(PrintRange&, int& pageWidth, int& pageHeight) {
  pageInDocument_ = 0;
  if (pdf()) {
    writer_ = std::make_unique<QPdfWriter>(QString::fromStdString(path_));
    writer_->setTitle("Kivra");
    writer_->setResolution(300);
    writer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (!painter_.begin(writer_.get())) {
      writer_.reset();
      failedFile_ = path_;
      return false;
    }
    preparePainter();
    pageWidth = writer_->width();
    pageHeight = writer_->height();
    return true;
  }
  if (!QDir().mkpath(QString::fromStdString(path_))) {
    failedFile_ = path_;
    return false;
  }
  pageWidth = kPngWidth;
  pageHeight = kPngHeight;
  return true;
}

bool QtFilePrinter::beginPage() {
  ++pageInDocument_;
  if (writer_) return pageInDocument_ == 1 || writer_->newPage();
  page_ = QImage(kPngWidth, kPngHeight, QImage::Format_RGB32);
  if (page_.isNull()) return false;
  page_.fill(Qt::white);
  if (!painter_.begin(&page_)) return false;
  preparePainter();
  return true;
}

bool QtFilePrinter::endPage() {
  if (writer_) {
    ++pagesWritten_;
    return true;
  }
  if (painter_.isActive()) painter_.end();
  // Numbered across documents, so that a later job adds to the folder.
  const std::string file = path_ + "/page-" + std::to_string(pagesWritten_ + 1) + ".png";
  if (!page_.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(file), "PNG")) {
    failedFile_ = file;
    return false;
  }
  ++pagesWritten_;
  return true;
}

void QtFilePrinter::endDocument() {
  if (painter_.isActive()) painter_.end();
  writer_.reset();
}

}  // namespace kivra
