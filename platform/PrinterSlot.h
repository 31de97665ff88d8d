#pragma once
// The printer the core is given: it forwards to the host's printer once
// one is set (the window's dialog, or the files of --print-to); without
// one nothing is printed and the debug sink says so.
#include "core/host/DebugOutput.h"
#include "core/host/Printer.h"

namespace kivra {

class PrinterSlot : public Printer {
 public:
  explicit PrinterSlot(DebugOutput& debug) : debug_(debug) {}
  // Not owned; it must outlive the player, or be reset to null first.
  void setPrinter(Printer* printer) { printer_ = printer; }

  bool printerAvailable() override { return printer_ && printer_->printerAvailable(); }
  bool beginDocument(PrintRange& range, int& width, int& height) override {
    if (!printer_) {
      debug_.debugLog("print request: no printer, nothing printed\n");
      return false;
    }
    return printer_->beginDocument(range, width, height);
  }
  bool beginPage() override { return printer_ && printer_->beginPage(); }
  bool endPage() override { return printer_ && printer_->endPage(); }
  void endDocument() override {
    if (printer_) printer_->endDocument();
  }
  void fillRect(int x, int y, int w, int h, PrintColor c) override {
    if (printer_) printer_->fillRect(x, y, w, h, c);
  }
  void fillPath(const PrintPath& p, PrintColor c) override {
    if (printer_) printer_->fillPath(p, c);
  }
  void strokePath(const PrintPath& p, double width, PrintColor c) override {
    if (printer_) printer_->strokePath(p, width, c);
  }
  void drawImage(const PrintImage& image, double x, double y, double w, double h) override {
    if (printer_) printer_->drawImage(image, x, y, w, h);
  }
  void drawText(const PrintText& text) override {
    if (printer_) printer_->drawText(text);
  }
  void pushClip(const PrintPath& p) override {
    if (printer_) printer_->pushClip(p);
  }
  void popClip() override {
    if (printer_) printer_->popClip();
  }

 private:
  DebugOutput& debug_;
  Printer* printer_ = nullptr;
};

}  // namespace kivra
