#pragma once
// A shared, reference-counted script string. The text is kept as narrow
// bytes in the encoding of the movie that made it: UTF-8 for version 6
// movies, the system code page (Windows-1252 here) for version 5 and lower;
// the origin flag says which. The 16-bit units are derived on demand. The
// empty string has no record at all: a string value with a null record.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/format/CaseInsensitive.h"
#include "core/format/CodePage.h"
#include "core/format/TextEncoding.h"

namespace kivra {

class ScriptString {
 public:
  // No string is longer than this many 16-bit units: building a longer one
  // fails (the value made is undefined), wherever it is built.
  static constexpr size_t kMaxUnits = size_t{1} << 24;
  // Whether narrow text in the given encoding is within kMaxUnits.
  static bool fits(std::string_view text, bool legacyOrigin);

  // A new record with one reference; null for the empty text.
  static ScriptString* make(std::string_view text, bool legacyOrigin);
  // The text of `a` then `b` (both non-null) in the given encoding, as make()
  // would give it from the two texts converted to that encoding; null when
  // the whole would pass kMaxUnits.
  static ScriptString* concat(const ScriptString* a, const ScriptString* b, bool legacyOrigin, const CodePage& cp);

  void retain() { ++refs_; }
  void release() {
    if (--refs_ == 0) delete this;
  }
  uint32_t refs() const { return refs_; }

  const std::string& text() const { return text_; }
  size_t size() const { return text_.size(); }
  bool legacyOrigin() const { return legacy_; }
  // True when every byte is below 128 (the text reads the same in both encodings).
  bool ascii() const { return ascii_; }
  // True when the text holds ':', '.' or '/' (it may name a path).
  bool hasPathChars() const { return pathChars_; }
  // The case-insensitive name hash, computed once.
  uint32_t hash() const {
    if (!hashed_) {
      hash_ = nameHash(text_);
      hashed_ = true;
    }
    return hash_;
  }
  // The text as UTF-16 units.
  std::u16string units(const CodePage& cp) const;

  // h = (h << 4) ^ (h >> 28) ^ upper(c) over the bytes; only a-z are folded.
  static uint32_t nameHash(std::string_view s);

 private:
  ScriptString(std::string_view text, bool legacy);
  ~ScriptString() = default;

  std::string text_;
  uint32_t refs_ = 1;
  mutable uint32_t hash_ = 0;
  mutable bool hashed_ = false;
  bool legacy_ = false;
  bool ascii_ = true;
  bool pathChars_ = false;
};


// Encoding helpers shared by the string actions and conversions. Legacy
// text is in the code page given.

}  // namespace kivra
