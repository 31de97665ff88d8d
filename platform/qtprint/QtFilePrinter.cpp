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

std::string QtFilePrinter::documentPath(int n) const {
  if (n <= 1) return path_;
  const std::string suffix = "-" + std::to_string(n);
  if (pdf()) return path_.substr(0, path_.size() - 4) + suffix + path_.substr(path_.size() - 4);
  // "pages/" names the folder "pages" too.
  std::string folder = path_;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + suffix;
}

bool QtFilePrinter::beginDocument(PrintRange&, int& pageWidth, int& pageHeight) {
  pageInDocument_ = 0;
  // A later job must not overwrite an earlier one's pages.
  document_ = documentPath(++documents_);
  if (pdf()) {
    writer_ = std::make_unique<QPdfWriter>(QString::fromStdString(document_));
    writer_->setTitle("Kivra");
    writer_->setResolution(300);
    writer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (!painter_.begin(writer_.get())) {
      writer_.reset();
      failedFile_ = document_;
      return false;
    }
    preparePainter();
    pageWidth = writer_->width();
    pageHeight = writer_->height();
    return true;
  }
  if (!QDir().mkpath(QString::fromStdString(document_))) {
    failedFile_ = document_;
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
  const std::string file = document_ + "/page-" + std::to_string(pageInDocument_) + ".png";
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
