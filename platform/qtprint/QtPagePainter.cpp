#include "platform/qtprint/QtPagePainter.h"

#include <QFont>
#include <QImage>
#include <QPaintDevice>
#include <QPen>
#include <QTransform>

namespace kivra {

namespace {
QColor qColor(PrintColor c) { return QColor(c.r, c.g, c.b); }
}  // namespace

QPainterPath QtPagePainter::toPainterPath(const PrintPath& path) {
  QPainterPath out;
  out.setFillRule(path.winding ? Qt::WindingFill : Qt::OddEvenFill);
  const std::vector<PrintPath::Point>& pts = path.points();
  size_t k = 0;
  for (PrintPath::Op op : path.ops()) {
    switch (op) {
      case PrintPath::Op::Move:
        if (k >= pts.size()) return out;
        out.moveTo(pts[k].x, pts[k].y);
        k += 1;
        break;
      case PrintPath::Op::Line:
        if (k >= pts.size()) return out;
        out.lineTo(pts[k].x, pts[k].y);
        k += 1;
        break;
      case PrintPath::Op::Cubic:
        if (k + 3 > pts.size()) return out;
        out.cubicTo(pts[k].x, pts[k].y, pts[k + 1].x, pts[k + 1].y, pts[k + 2].x, pts[k + 2].y);
        k += 3;
        break;
    }
  }
  return out;
}

void QtPagePainter::preparePainter() {
  painter_.setRenderHint(QPainter::Antialiasing, true);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, true);
  // Otherwise pictures may be stored as JPEG.
  painter_.setRenderHint(QPainter::LosslessImageRendering, true);
}

void QtPagePainter::fillRect(int x, int y, int width, int height, PrintColor color) {
  if (!painter_.isActive()) return;
  painter_.fillRect(x, y, width, height, qColor(color));
}

void QtPagePainter::fillPath(const PrintPath& path, PrintColor color) {
  if (!painter_.isActive()) return;
  painter_.fillPath(toPainterPath(path), qColor(color));
}

void QtPagePainter::strokePath(const PrintPath& path, double width, PrintColor color) {
  if (!painter_.isActive()) return;
  QPen pen(qColor(color), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter_.strokePath(toPainterPath(path), pen);
}

void QtPagePainter::drawImage(const PrintImage& image, double x, double y, double width, double height) {
  if (!painter_.isActive() || image.width <= 0 || image.height <= 0 ||
      image.pixels.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
    return;
  const QImage picture(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                       image.width * 4, QImage::Format_ARGB32_Premultiplied);
  painter_.setBrush(Qt::NoBrush);
  painter_.drawImage(QRectF(x, y, width, height), picture);
}

void QtPagePainter::drawText(const PrintText& text) {
  if (!painter_.isActive() || text.size <= 0 || text.glyphs.empty()) return;
  QFont font(QString::fromStdString(text.family));
  font.setBold(text.bold);
  font.setItalic(text.italic);
  // Points for the device's resolution keep a fractional pixel size.
  const int dpi = painter_.device() ? painter_.device()->logicalDpiY() : 72;
  font.setPointSizeF(text.size * 72.0 / (dpi > 0 ? dpi : 72));
  // The layout placed every glyph from unhinted advances.
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(false);
  painter_.save();
  painter_.setFont(font);
  painter_.setPen(qColor(text.color));
  painter_.setBrush(Qt::NoBrush);
  const QTransform base = painter_.worldTransform();
  const QTransform axes(text.xx, text.xy, text.yx, text.yy, 0, 0);
  const bool upright = axes.isIdentity();
  for (const PrintText::Glyph& g : text.glyphs) {
    if (g.code == 0 || g.code > 0x10FFFF || (g.code >= 0xD800 && g.code < 0xE000)) continue;
    const char32_t code = g.code;
    const QString s = QString::fromUcs4(&code, 1);
    if (upright) {
      painter_.drawText(QPointF(g.x, g.y), s);
    } else {
      painter_.setWorldTransform(axes * QTransform::fromTranslate(g.x, g.y) * base);
      painter_.drawText(QPointF(0, 0), s);
    }
  }
  painter_.restore();
}

void QtPagePainter::pushClip(const PrintPath& path) {
  if (!painter_.isActive()) return;
  painter_.save();
  painter_.setClipPath(toPainterPath(path), painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void QtPagePainter::popClip() {
  if (!painter_.isActive()) return;
  painter_.restore();
}

}  // namespace kivra
