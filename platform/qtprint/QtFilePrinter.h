#pragma once
// The headless printer of --print-to: the dialog is answered with the
// job's own range, and the pages go to a file. A path ending in ".pdf" is
// one PDF of A4 pages at 300 dpi; any other path is a folder that gets
// page-1.png, page-2.png, ... (A4 at 150 dpi on white paper). Every job of
// a run is kept: the first writes the path itself, later ones numbered
// siblings (out.pdf, out-2.pdf, out-3.pdf; pages, pages-2, pages-3).
#include <memory>
#include <string>

#include <QImage>
#include <QPdfWriter>

#include "platform/qtprint/QtPagePainter.h"

namespace kivra {

class QtFilePrinter : public QtPagePainter {
 public:
  // A4 at 150 dpi.
  static constexpr int kPngWidth = 1240;
  static constexpr int kPngHeight = 1754;

  explicit QtFilePrinter(std::string path);
  ~QtFilePrinter() override;

  bool printerAvailable() override { return true; }
  bool beginDocument(PrintRange& range, int& pageWidth, int& pageHeight) override;
  bool beginPage() override;
  bool endPage() override;
  void endDocument() override;

  // Pages finished in all documents so far.
  int pagesWritten() const { return pagesWritten_; }
  // Where document `n` (1-based) of the run goes.
  std::string documentPath(int n) const;
  // A page file that could not be written (empty when none).
  const std::string& failedFile() const { return failedFile_; }

 private:
  bool pdf() const;

  std::string path_;
  std::string document_;  // the path of the document being written
  int documents_ = 0;
  std::unique_ptr<QPdfWriter> writer_;
  QImage page_;
  int pageInDocument_ = 0;
  int pagesWritten_ = 0;
  std::string failedFile_;
};

}  // namespace kivra
