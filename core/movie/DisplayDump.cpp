#include "core/movie/DisplayDump.h"

#include <cstdio>
#include <cstdlib>

#include "core/movie/CharacterKinds.h"
#include "core/movie/Display.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

namespace {
// A 16.16 value as a decimal with at most five places.
std::string fixedText(Fixed16 v) {
  const bool negative = v < 0;
  const int64_t mag = std::llabs(static_cast<int64_t>(v));
  // Round to 1e-5: units of 1/100000.
  const int64_t scaled = (mag * 100000 + 0x8000) >> 16;
  std::string s = std::to_string(scaled / 100000);
  int64_t frac = scaled % 100000;
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%05lld", static_cast<long long>(frac));
    std::string f = buf;
    while (!f.empty() && f.back() == '0') f.pop_back();
    s += "." + f;
  }
  return (negative && scaled) ? "-" + s : s;
}

std::string quoted(const std::string& name) {
  std::string out = "\"";
  for (unsigned char c : name) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c > 0x7E) {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

class DumpVisitor : public DisplayVisitor {
 public:
  explicit DumpVisitor(std::string& out) : out_(out) {}
  bool enter(const DisplayWalkItem& item) override {
    const DisplayObject& o = item.object;
    const CharacterKindOps& ops = kindOps(o.kind());
    const MATRIX& m = o.matrix();
    const CXFORM& cx = o.cxform();
    std::string frame = "-";
    if (const TimelinePlayer* t = o.timeline())
      frame = std::to_string(t->currentFrame() + 1) + "/" + std::to_string(t->frameCount());
    char tail[160];
    std::snprintf(tail, sizeof tail, " cxform=%d,%d,%d,%d,%d,%d,%d,%d ratio=%u clip=%u", cx.rMul, cx.gMul,
                  cx.bMul, cx.aMul, cx.rAdd, cx.gAdd, cx.bAdd, cx.aAdd, o.ratio(), o.clipDepth());
    out_ += std::string(static_cast<size_t>(item.nesting) * 2, ' ') + std::to_string(o.depth()) + " " +
            ops.dumpName + " id=" + std::to_string(o.characterId()) + " name=" + quoted(o.name()) +
            " frame=" + frame + " matrix=" + fixedText(m.a) + "," + fixedText(m.b) + "," + fixedText(m.c) + "," +
            fixedText(m.d) + "," + std::to_string(m.tx) + "," + std::to_string(m.ty) + tail;
    if (ops.dumpDetails) ops.dumpDetails(o, out_);
    out_ += '\n';
    return true;
  }

 private:
  std::string& out_;
};
}  // namespace

std::string dumpDisplay(const Display& display) {
  char head[32];
  std::snprintf(head, sizeof head, "background #%06x\n", display.background() & 0xFFFFFF);
  std::string out = head;
  DumpVisitor visitor(out);
  display.walk(visitor);
  return out;
}

}  // namespace kivra
