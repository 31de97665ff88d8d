#pragma once
// The drawing half of a Qt printer: the core's page calls on a QPainter
// (paths as QPainterPath, pictures drawn losslessly). Subclasses own the
// paint device and open the painter on it for each document or page.
#include <QPainter>
#include <QPainterPath>

#include "core/host/Printer.h"

namespace kivra {

class QtPagePainter : public Printer {
 public:
  static QPainterPath toPainterPath(const PrintPath& path);

  void fillRect(int x, int y, int width, int height, PrintColor color) override;
  void fillPath(const PrintPath& path, PrintColor color) override;
  void strokePath(const PrintPath& path, double width, PrintColor color) override;
  void drawImage(const PrintImage& image, double x, double y, double width, double height) override;
  void drawText(const PrintText& text) override;
  void pushClip(const PrintPath& path) override;
  void popClip() override;

 protected:
  // Antialiasing and lossless pictures, once the painter is open.
  void preparePainter();
  QPainter painter_;
};

}  // namespace kivra
