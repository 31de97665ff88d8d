#include "platform/fonts/FontconfigFonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace kivra {

namespace {

// Coverage kept per face before its cache starts again.
constexpr size_t kCoverageBudget = 8u << 20;
// Beyond this em height a glyph bitmap is bigger than any window.
constexpr int kMaxPixelSize26_6 = 2048 * 64;
// The shear and weight the system gives a face that lacks the style asked
// for: FreeType's own oblique slant, and a stroke of 1/24 em.
constexpr FT_Fixed kObliqueShear = 0x0366A;
constexpr int kEmboldenDivisor = 24;

bool equalsIgnoringAsciiCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The other system's fonts and the free fonts drawn to the same widths.
// The Japanese names are UTF-8, as the core hands them over.
struct NameSubstitute {
  const char* systemName;
  const char* family;
  bool japanese;
};
const NameSubstitute kSubstitutes[] = {
    {"Arial", "Liberation Sans", false},
    {"Helvetica", "Liberation Sans", false},
    {"Times New Roman", "Liberation Serif", false},
    {"Times", "Liberation Serif", false},
    {"Courier New", "Liberation Mono", false},
    {"Courier", "Liberation Mono", false},
    // Proportional gothic, fixed-width gothic, proportional and fixed mincho.
    {"\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf", "IPAPGothic", true},
    {"MS PGothic", "IPAPGothic", true},
    {"MS UI Gothic", "IPAPGothic", true},
    {"\xef\xbc\xad\xef\xbc\xb3 \xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf", "IPAGothic", true},
    {"MS Gothic", "IPAGothic", true},
    {"\xef\xbc\xad\xef\xbc\xb3 \xef\xbc\xb0\xe6\x98\x8e\xe6\x9c\x9d", "IPAPMincho", true},
    {"MS PMincho", "IPAPMincho", true},
    {"\xef\xbc\xad\xef\xbc\xb3 \xe6\x98\x8e\xe6\x9c\x9d", "IPAMincho", true},
    {"MS Mincho", "IPAMincho", true},
};

const NameSubstitute* findSubstitute(const std::string& name) {
  for (const NameSubstitute& s : kSubstitutes)
    if (equalsIgnoringAsciiCase(name, s.systemName)) return &s;
  return nullptr;
}

// Collects a FreeType outline as 1024-unit em commands, y down. Cubic
// segments (CFF faces) become as many quadratics as keep the error under
// a quarter unit.
class OutlineSink {
 public:
  OutlineSink(std::vector<GlyphPathCommand>& out, float scale) : out_(out), scale_(scale) {}

  static int moveTo(const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->add(GlyphPathVerb::Move, s->point(to), {});
    return 0;
  }
  static int lineTo(const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->add(GlyphPathVerb::Line, s->point(to), {});
    return 0;
  }
  static int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* s = static_cast<OutlineSink*>(user);
    s->add(GlyphPathVerb::Quadratic, s->point(to), s->point(control));
    return 0;
  }
  static int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    static_cast<OutlineSink*>(user)->cubic(c1, c2, to);
    return 0;
  }

 private:
  struct Point {
    float x = 0;
    float y = 0;
  };

  Point point(const FT_Vector* v) const {
    return {static_cast<float>(v->x) * scale_, -static_cast<float>(v->y) * scale_};
  }

  void add(GlyphPathVerb verb, Point to, Point control) {
    out_.push_back(GlyphPathCommand{verb, to.x, to.y, control.x, control.y});
    last_ = to;
  }

  void cubic(const FT_Vector* v1, const FT_Vector* v2, const FT_Vector* v3) {
    const Point p0 = last_, p1 = point(v1), p2 = point(v2), p3 = point(v3);
    // The distance between a cubic and its single quadratic stand-in is at
    // most sqrt(3)/36 |p3 - 3 p2 + 3 p1 - p0|, and falls with the cube of
    // the number of pieces.
    const float dx = p3.x - 3 * p2.x + 3 * p1.x - p0.x;
    const float dy = p3.y - 3 * p2.y + 3 * p1.y - p0.y;
    const float error = std::sqrt(dx * dx + dy * dy) * 0.048112522f;
    const int pieces = std::clamp(static_cast<int>(std::ceil(std::cbrt(error / 0.25f))), 1, 16);
    const auto at = [&](float t) {
      const float u = 1 - t;
      const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      return Point{a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
    };
    const auto slope = [&](float t) {
      const float u = 1 - t;
      const float a = 3 * u * u, b = 6 * u * t, c = 3 * t * t;
      return Point{a * (p1.x - p0.x) + b * (p2.x - p1.x) + c * (p3.x - p2.x),
                   a * (p1.y - p0.y) + b * (p2.y - p1.y) + c * (p3.y - p2.y)};
    };
    for (int i = 0; i < pieces; ++i) {
      const float t0 = static_cast<float>(i) / pieces, t1 = static_cast<float>(i + 1) / pieces;
      const Point a = at(t0), b = at(t1), da = slope(t0), db = slope(t1);
      // The quadratic through both ends whose midpoint is the piece's own:
      // control = (3 (c1 + c2) - a - b) / 4 with the piece's cubic controls
      // c1 = a + da dt / 3 and c2 = b - db dt / 3.
      const float h = (t1 - t0) / 4;
      const Point control{(a.x + b.x) / 2 + (da.x - db.x) * h, (a.y + b.y) / 2 + (da.y - db.y) * h};
      add(GlyphPathVerb::Quadratic, i + 1 == pieces ? p3 : b, control);
    }
  }

  std::vector<GlyphPathCommand>& out_;
  float scale_;
  Point last_;
};

}  // namespace

class FreeTypeLibrary {
 public:
  FreeTypeLibrary() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
  }
  ~FreeTypeLibrary() {
    if (library_) FT_Done_FreeType(library_);
  }
  FreeTypeLibrary(const FreeTypeLibrary&) = delete;
  FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
  FT_Library get() const { return library_; }

 private:
  FT_Library library_ = nullptr;
};

namespace {

class FreeTypeFace : public DeviceFace {
 public:
  // Takes the face; keeps the library alive as long as the face.
  FreeTypeFace(std::shared_ptr<FreeTypeLibrary> library, FT_Face face, std::string family, bool emboldened,
               bool slanted)
      : library_(std::move(library)),
        face_(face),
        family_(std::move(family)),
        emboldened_(emboldened),
        slanted_(slanted),
        toEm_(1024.0f / face->units_per_EM) {}
  ~FreeTypeFace() override { FT_Done_Face(face_); }
  FreeTypeFace(const FreeTypeFace&) = delete;
  FreeTypeFace& operator=(const FreeTypeFace&) = delete;

  const std::string& familyName() const override { return family_; }

  DeviceFontMetrics metrics() const override {
    const float ascent = face_->ascender, descent = -face_->descender;
    return {ascent * toEm_, descent * toEm_, std::max(0.0f, face_->height - ascent - descent) * toEm_};
  }

  uint32_t glyphIndex(uint32_t codePoint) override {
    if (codePoint > 0x10ffff) return 0;
    return FT_Get_Char_Index(face_, codePoint);
  }

  float advance(uint32_t glyph) override {
    if (!hasGlyph(glyph)) return 0;
    FT_Fixed units = 0;
    if (FT_Get_Advance(face_, glyph, FT_LOAD_NO_SCALE, &units) != 0) return 0;
    if (emboldened_) units += emboldenUnits();
    return static_cast<float>(units) * toEm_;
  }

  bool outline(uint32_t glyph, std::vector<GlyphPathCommand>& out) override {
    out.clear();
    if (!hasGlyph(glyph) || FT_Load_Glyph(face_, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (slanted_) {
      FT_Matrix shear{0x10000, kObliqueShear, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (emboldened_) FT_Outline_Embolden(&slot->outline, emboldenUnits());
    FT_Outline_Funcs funcs{};
    funcs.move_to = &OutlineSink::moveTo;
    funcs.line_to = &OutlineSink::lineTo;
    funcs.conic_to = &OutlineSink::conicTo;
    funcs.cubic_to = &OutlineSink::cubicTo;
    OutlineSink sink(out, toEm_);
    if (FT_Outline_Decompose(&slot->outline, &funcs, &sink) != 0) {
      out.clear();
      return false;
    }
    return true;
  }

  const GlyphCoverage* coverage(uint32_t glyph, int pixelSize26_6) override {
    if (!hasGlyph(glyph) || pixelSize26_6 <= 0 || pixelSize26_6 > kMaxPixelSize26_6) return nullptr;
    const uint64_t key = (static_cast<uint64_t>(pixelSize26_6) << 32) | glyph;
    if (auto it = cache_.find(key); it != cache_.end()) return it->second.get();
    std::unique_ptr<GlyphCoverage> made = render(glyph, pixelSize26_6);
    const size_t bytes = sizeof(GlyphCoverage) + 32 + (made ? made->pixels.size() : 0);
    if (cacheBytes_ + bytes > kCoverageBudget) {
      cache_.clear();
      cacheBytes_ = 0;
    }
    cacheBytes_ += bytes;
    // Empty glyphs are remembered too, so a space is looked at once.
    return cache_.emplace(key, std::move(made)).first->second.get();
  }

 private:
  bool hasGlyph(uint32_t glyph) const { return glyph < static_cast<uint32_t>(face_->num_glyphs); }
  FT_Pos emboldenUnits() const { return face_->units_per_EM / kEmboldenDivisor; }

  std::unique_ptr<GlyphCoverage> render(uint32_t glyph, int pixelSize26_6) {
    if (pixelSize26_6 != size26_6_) {
      if (FT_Set_Char_Size(face_, 0, pixelSize26_6, 72, 72) != 0) {
        size26_6_ = 0;
        return nullptr;
      }
      size26_6_ = pixelSize26_6;
    }
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) != 0) return nullptr;
    FT_GlyphSlot slot = face_->glyph;
    if (slanted_) FT_GlyphSlot_Oblique(slot);
    if (emboldened_) FT_GlyphSlot_Embolden(slot);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0) return nullptr;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.width == 0 || bitmap.rows == 0) return nullptr;
    auto c = std::make_unique<GlyphCoverage>();
    c->width = static_cast<int>(bitmap.width);
    c->height = static_cast<int>(bitmap.rows);
    c->pitch = c->width;
    c->left = slot->bitmap_left;
    c->top = slot->bitmap_top;
    c->advance26_6 = static_cast<int32_t>(slot->advance.x);
    c->pixels.resize(static_cast<size_t>(c->pitch) * c->height);
    for (int y = 0; y < c->height; ++y) {
      // A negative pitch stores the rows bottom up.
      const int row = bitmap.pitch >= 0 ? y : c->height - 1 - y;
      std::memcpy(&c->pixels[static_cast<size_t>(y) * c->pitch],
                  bitmap.buffer + static_cast<ptrdiff_t>(row) * std::abs(bitmap.pitch), bitmap.width);
    }
    return c;
  }

  std::shared_ptr<FreeTypeLibrary> library_;
  FT_Face face_;
  std::string family_;
  bool emboldened_;
  bool slanted_;
  float toEm_;
  int size26_6_ = 0;
  std::unordered_map<uint64_t, std::unique_ptr<GlyphCoverage>> cache_;
  size_t cacheBytes_ = 0;
};

}  // namespace

struct FontconfigFonts::Config {
  FcConfig* config = nullptr;
  ~Config() {
    if (config) FcConfigDestroy(config);
  }
};

struct FontconfigFonts::Match {
  std::string file;
  int index = 0;
  std::string family;  // the family asked for when it matched, else the face's first
  bool exact = false;  // the face is of the family asked for
  // Whether the face must be made bolder or slanted: the file is lighter
  // or upright, or the system's settings ask for it (they also relabel the
  // face as bold or oblique then).
  bool embolden = false;
  bool slant = false;
};

FontconfigFonts::FontconfigFonts() = default;
// Faces handed out may outlive this object: each keeps the FreeType library.
FontconfigFonts::~FontconfigFonts() = default;

std::string FontconfigFonts::substituteName(const std::string& systemName) {
  const NameSubstitute* s = findSubstitute(systemName);
  return s ? s->family : systemName;
}

bool FontconfigFonts::ready() {
  if (!initTried_) {
    initTried_ = true;
    config_ = std::make_unique<Config>();
    config_->config = FcInitLoadConfigAndFonts();
    library_ = std::make_shared<FreeTypeLibrary>();
    if (!library_->get()) library_.reset();
  }
  return config_->config && library_;
}

bool FontconfigFonts::match(const std::string& family, bool bold, bool italic, bool japanese, Match& out) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  const auto* familyUtf8 = reinterpret_cast<const FcChar8*>(family.c_str());
  FcPatternAddString(pattern, FC_FAMILY, familyUtf8);
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  if (japanese) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcConfigSubstitute(config_->config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(config_->config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!found) return false;

  bool ok = false;
  FcChar8* file = nullptr;
  if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file) {
    ok = true;
    out.file = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(found, FC_INDEX, 0, &out.index) != FcResultMatch) out.index = 0;
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcBool embolden = FcFalse;
    FcMatrix* matrix = nullptr;
    FcPatternGetInteger(found, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(found, FC_SLANT, 0, &slant);
    FcPatternGetBool(found, FC_EMBOLDEN, 0, &embolden);
    const bool sheared = FcPatternGetMatrix(found, FC_MATRIX, 0, &matrix) == FcResultMatch && matrix && matrix->xy != 0;
    out.embolden = bold && (embolden || weight < FC_WEIGHT_DEMIBOLD);
    out.slant = italic && (sheared || slant == FC_SLANT_ROMAN);
    out.exact = false;
    out.family.clear();
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(found, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
      if (i == 0) out.family = reinterpret_cast<const char*>(name);
      if (FcStrCmpIgnoreCase(name, familyUtf8) == 0) {
        out.exact = true;
        out.family = reinterpret_cast<const char*>(name);
        break;
      }
    }
  }
  FcPatternDestroy(found);
  return ok;
}

bool FontconfigFonts::hasDeviceFont(const std::string& name) {
  if (auto it = installed_.find(name); it != installed_.end()) return it->second;
  Match m;
  const bool has = ready() && match(substituteName(name), false, false, false, m) && m.exact;
  installed_.emplace(name, has);
  return has;
}

std::shared_ptr<DeviceFace> FontconfigFonts::openDeviceFont(const std::string& systemName, bool bold,
                                                             bool italic) {
  const auto nameKey = std::make_tuple(systemName, bold, italic);
  if (auto it = byName_.find(nameKey); it != byName_.end()) return it->second;
  if (!ready()) return nullptr;

  const NameSubstitute* s = findSubstitute(systemName);
  const bool japanese = s && s->japanese;
  Match m;
  std::shared_ptr<DeviceFace> face;
  if (match(s ? s->family : systemName, bold, italic, japanese, m) && m.exact) face = openMatch(m);
  // fontconfig always matches something, but a font that is not the one
  // asked for (or a file FreeType cannot read) is no better than the
  // user's sans: one that covers Japanese for a Japanese name, if any.
  if (!face && match("sans-serif", bold, italic, japanese, m)) face = openMatch(m);
  byName_.emplace(nameKey, face);
  return face;
}

std::shared_ptr<DeviceFace> FontconfigFonts::openMatch(const Match& m) {
  const auto fileKey = std::make_tuple(m.file, m.index, m.embolden, m.slant);
  if (auto it = byFile_.find(fileKey); it != byFile_.end()) return it->second;
  FT_Face ftFace = nullptr;
  if (FT_New_Face(library_->get(), m.file.c_str(), m.index, &ftFace) != 0) return nullptr;
  if (!FT_IS_SCALABLE(ftFace) || ftFace->units_per_EM == 0) {
    FT_Done_Face(ftFace);
    return nullptr;
  }
  auto face = std::make_shared<FreeTypeFace>(library_, ftFace, m.family, m.embolden, m.slant);
  byFile_.emplace(fileKey, face);
  return face;
}

}  // namespace kivra
