#pragma once
// Printing: the host's printer as a page-drawing surface. A print job calls,
// on the player's thread and in this order: beginDocument (which shows the
// print dialog), then for each page beginPage, draw calls, endPage, and
// finally endDocument (also after a failure, whenever beginDocument
// succeeded). Coordinates are device pixels of the page, (0, 0) at its top
// left; colours are plain (not premultiplied) RGB.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra {

// The page range the dialog offers; the host writes back what was chosen.
struct PrintRange {
  int first = 1;
  int last = 1;
  int min = 1;
  int max = 1;
  bool noPageNumbers = false;   // the range controls are disabled
  bool printSelection = false;  // only the page that holds the current frame
};

struct PrintColor {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const PrintColor&) const = default;
};

// A device path: sub-paths of straight and cubic pieces.
class PrintPath {
 public:
  enum class Op : uint8_t { Move, Line, Cubic };
  struct Point {
    double x = 0, y = 0;
  };

  void moveTo(double x, double y) { add(Op::Move, {x, y}); }
  void lineTo(double x, double y) { add(Op::Line, {x, y}); }
  // Two control points, then the end.
  void cubicTo(Point c1, Point c2, Point end) {
    ops_.push_back(Op::Cubic);
    points_.push_back(c1);
    points_.push_back(c2);
    points_.push_back(end);
  }
  void clear() {
    ops_.clear();
    points_.clear();
  }
  bool empty() const { return ops_.empty(); }
  const std::vector<Op>& ops() const { return ops_; }
  // One point per Move and Line, three per Cubic, in order.
  const std::vector<Point>& points() const { return points_; }

  bool winding = false;  // non-zero rule; else odd-even

 private:
  void add(Op op, Point p) {
    ops_.push_back(op);
    points_.push_back(p);
  }
  std::vector<Op> ops_;
  std::vector<Point> points_;
};

// Text in a system font: each glyph's character with its pen on the
// baseline where the layout put it. `size` is the em height in pixels;
// (xx, xy) and (yx, yy) are the em's x and y axes on the page divided by
// the size: (1, 0) and (0, 1) for upright text.
struct PrintText {
  struct Glyph {
    double x = 0, y = 0;
    uint32_t code = 0;  // Unicode
  };
  std::string family;
  bool bold = false;
  bool italic = false;
  double size = 0;
  double xx = 1, xy = 0, yx = 0, yy = 1;
  PrintColor color;
  std::vector<Glyph> glyphs;
};

// A picture for the page: premultiplied 0xAARRGGBB words, top row first.
struct PrintImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

class Printer {
 public:
  virtual ~Printer() = default;
  virtual bool printerAvailable() = 0;

  // Shows the print dialog for `range` (the host may change first, last
  // and noPageNumbers) and starts the document "Kivra". False when the
  // user cancelled or the document could not start: nothing else is then
  // called. Otherwise the page size in device pixels is set.
  [[nodiscard]] virtual bool beginDocument(PrintRange& range, int& pageWidth, int& pageHeight) = 0;
  // False when the page could not start or end (the job stops).
  [[nodiscard]] virtual bool beginPage() = 0;
  [[nodiscard]] virtual bool endPage() = 0;
  virtual void endDocument() = 0;

  // ---- Drawing on the current page ---------------------------------------------
  virtual void fillRect(int x, int y, int width, int height, PrintColor color) = 0;
  virtual void fillPath(const PrintPath& path, PrintColor color) = 0;
  // A round pen of `width` pixels.
  virtual void strokePath(const PrintPath& path, double width, PrintColor color) = 0;
  // Stretches the image over the rectangle.
  virtual void drawImage(const PrintImage& image, double x, double y, double width, double height) = 0;
  // Sets the glyphs as text, so that the document keeps it as text.
  virtual void drawText(const PrintText& text) = 0;
  // Clipping nests: pushClip intersects the clip with the path until the
  // matching popClip.
  virtual void pushClip(const PrintPath& path) = 0;
  virtual void popClip() = 0;
};

// No printer: every document fails to start.
class NullPrinter : public Printer {
 public:
  bool printerAvailable() override { return false; }
  bool beginDocument(PrintRange&, int&, int&) override { return false; }
  bool beginPage() override { return false; }
  bool endPage() override { return false; }
  void endDocument() override {}
  void fillRect(int, int, int, int, PrintColor) override {}
  void fillPath(const PrintPath&, PrintColor) override {}
  void strokePath(const PrintPath&, double, PrintColor) override {}
  void drawImage(const PrintImage&, double, double, double, double) override {}
  void drawText(const PrintText&) override {}
  void pushClip(const PrintPath&) override {}
  void popClip() override {}
};

}  // namespace kivra
