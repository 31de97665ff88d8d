#include "tools/qvxs/Compiler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "tools/kit/Bitmaps.h"
#include "tools/kit/Sounds.h"
#include "tools/kit/Fonts.h"
#include "tools/kit/RecordWriter.h"
#include "tools/qvxs/Assembler.h"

namespace kivra::qvxs {

using namespace kit;

namespace {

struct NamedBit {
  uint32_t bit;
  const char* name;
};

constexpr NamedBit kClipEvents[] = {
    {kEventLoad, "load"},           {kEventEnterFrame, "enterFrame"},
    {kEventUnload, "unload"},       {kEventMouseMove, "mouseMove"},
    {kEventMouseDown, "mouseDown"}, {kEventMouseUp, "mouseUp"},
    {kEventKeyDown, "keyDown"},     {kEventKeyUp, "keyUp"},
    {kEventData, "data"},           {kEventInitialize, "initialize"},
    {kEventPress, "press"},         {kEventRelease, "release"},
    {kEventReleaseOutside, "releaseOutside"}, {kEventRollOver, "rollOver"},
    {kEventRollOut, "rollOut"},     {kEventDragOver, "dragOver"},
    {kEventDragOut, "dragOut"},     {kEventKeyPress, "keyPress"},
};

constexpr NamedBit kButtonConditions[] = {
    {0x001, "idleToOverUp"},      {0x002, "overUpToIdle"},      {0x004, "overUpToOverDown"},
    {0x008, "overDownToOverUp"},  {0x010, "overDownToOutDown"}, {0x020, "outDownToOverDown"},
    {0x040, "outDownToIdle"},     {0x080, "idleToOverDown"},    {0x100, "overDownToIdle"},
};

// Flags of a DefineEditText word that no attribute stands for.
constexpr NamedBit kEditTextFlags[] = {
    {0x0008, "readonly"}, {0x0010, "password"}, {0x0020, "multiline"}, {0x0040, "wordwrap"},
    {0x0100, "embed"},    {0x0200, "html"},     {0x0800, "border"},    {0x1000, "noselect"},
    {0x4000, "autosize"},
};

constexpr NamedBit kButtonStates[] = {
    {kButtonUp, "up"}, {kButtonOver, "over"}, {kButtonDown, "down"}, {kButtonHit, "hit"}};

template <size_t N>
bool namedBits(Args& a, const std::string& list, const NamedBit (&table)[N], uint32_t max, uint32_t& out,
               const char* what) {
  out = 0;
  for (const std::string& word : splitList(list)) {
    bool found = false;
    for (const NamedBit& nb : table) {
      if (word == nb.name) {
        out |= nb.bit;
        found = true;
      }
    }
    if (found) continue;
    int64_t v;
    if (!parseInt(word, v) || v < 0 || v > max) {
      a.diag().error(a.line(), std::string("unknown ") + what + " '" + word + "'");
      return false;
    }
    out |= static_cast<uint32_t>(v);
  }
  return true;
}

class Compiler {
 public:
  Compiler(int version, Diagnostics& diag, std::string baseDir, double frameRate)
      : version_(version), diag_(diag), baseDir_(std::move(baseDir)), frameRate_(frameRate) {}
  bool tags(const std::vector<Node>& nodes, TagStream& out);

 private:
  bool tag(const Node& node, TagStream& out);
  bool u16Arg(Args& a, size_t i, uint16_t& out, const char* what);
  bool rectArg(Args& a, const std::string& key, RECT& out, bool required);
  bool actions(const Node& node, std::vector<uint8_t>& out);
  bool shape(const Node& node, int shapeVersion, std::vector<uint8_t>& body);
  bool morph(const Node& node, std::vector<uint8_t>& body);
  bool button(const Node& node, bool second, std::vector<uint8_t>& body);
  bool place2(const Node& node, std::vector<uint8_t>& body);
  bool styleLine(const Node& node, bool rgba, StyleArrays& arrays);
  bool edgeLine(const Node& node, std::vector<ShapeRecord>& records, int32_t& x, int32_t& y, RECT* box,
                bool& started);
  bool assets(Args& a, size_t first, AssetList& out);
  bool bitmap(const Node& node, Args& a, uint16_t& code, std::vector<uint8_t>& body);
  bool hexValue(Args& a, const char* key, std::vector<uint8_t>& out);
  bool qualityArg(Args& a, std::optional<int>& out);
  bool imageFile(Args& a, const std::string& word, std::vector<uint8_t>& bytes, kit::RgbaImage* image);
  std::string sourcePath(const std::string& name) const;
  bool font(const Node& node, bool second, std::vector<uint8_t>& body);
  bool fontFlags(Args& a, kit::Font& f, bool second, bool info);
  bool fontInfo(const Node& node, bool second, std::vector<uint8_t>& body);
  bool text(const Node& node, bool rgba, std::vector<uint8_t>& body);
  bool textRun(const Node& node, bool rgba, kit::TextRun& run, uint16_t& fontId, uint16_t& height);
  bool sound(const Node& node, Args& a, std::vector<uint8_t>& body);
  bool soundFile(Args& a, const std::string& word, kit::PcmSound& out);
  bool soundCodec(Args& a, int& codec, int& bits);
  bool soundInfo(Args& a, kit::SoundInfoRecord& info);
  bool streamHead(const Node& node, Args& a, std::vector<uint8_t>& body);
  bool streamBlock(const Node& node, std::vector<uint8_t>& body);
  bool editText(Args& a, std::vector<uint8_t>& body);

  int version_;
  Diagnostics& diag_;
  std::string baseDir_;  // image files are named relative to it
  // The quality of the last `jpegtables` made by the kit, which `bits` images
  // are encoded to match; unset when the tables came as bytes.
  std::optional<int> jpegTablesQuality_;
  // Fonts defined so far, for the code tables, advances and metrics that
  // static text takes its glyphs from.
  struct KnownFont {
    kit::Font font;
    bool advances = false;  // the glyph advances are known
  };
  std::map<uint16_t, KnownFont> fonts_;
  double frameRate_;  // frames per second: a stream block is a frame's sound
  // The sound of the last `streamhead` made from a file, which `streamblock`
  // lines hand out block by block.
  struct Stream {
    kit::PcmSound pcm;
    int codec = 3;
    int bits = 4;
    uint32_t perBlock = 0;
    size_t next = 0;  // the next frame to hand out
    // An MP3 file's frames instead: each block takes whole frames until the
    // samples handed out reach the end of its frame's time.
    bool isMp3 = false;
    kit::Mp3Sound mp3;
    uint64_t samplesOut = 0;
    uint64_t blocks = 0;
  };
  std::optional<Stream> stream_;
};

bool Compiler::u16Arg(Args& a, size_t i, uint16_t& out, const char* what) {
  int64_t v;
  if (!intArg(a, a.positional(i), 0, 0xFFFF, v, what)) return false;
  out = static_cast<uint16_t>(v);
  return true;
}

bool Compiler::rectArg(Args& a, const std::string& key, RECT& out, bool required) {
  auto v = a.value(key);
  if (!v) {
    if (required) diag_.error(a.line(), "missing " + key + "=xmin,xmax,ymin,ymax");
    return !required;
  }
  const std::vector<std::string> parts = splitList(*v);
  int32_t vals[4];
  bool ok = parts.size() == 4;
  for (size_t i = 0; ok && i < 4; ++i) ok = parseTwips(parts[i], vals[i]);
  if (!ok) {
    diag_.error(a.line(), key + "=" + *v + ": expected xmin,xmax,ymin,ymax");
    return false;
  }
  out = RECT{vals[0], vals[1], vals[2], vals[3]};
  return true;
}

bool Compiler::actions(const Node& node, std::vector<uint8_t>& out) {
  if (!node.hasBlock) {
    diag_.error(node.line, node.head() + " needs a block of actions: end the line with '{'");
    return false;
  }
  return assembleBlock(node.children, node.line, out, diag_);
}

bool Compiler::assets(Args& a, size_t first, AssetList& out) {
  if ((a.positionalCount() - first) % 2 != 0) {
    diag_.error(a.line(), "expected pairs of id and \"name\"");
    return false;
  }
  for (size_t i = first; i < a.positionalCount(); i += 2) {
    uint16_t id;
    std::string name;
    if (!u16Arg(a, i, id, "id") || !stringArg(a, a.positional(i + 1), name, "name")) return false;
    out.emplace_back(id, name);
  }
  return true;
}

bool Compiler::hexValue(Args& a, const char* key, std::vector<uint8_t>& out) {
  auto v = a.value(key);
  if (!v) {
    diag_.error(a.line(), std::string("missing ") + key + "=HEX");
    return false;
  }
  if (!parseHexWords({*v}, 0, out)) {
    diag_.error(a.line(), std::string(key) + "= must be hex bytes");
    return false;
  }
  return true;
}

bool Compiler::qualityArg(Args& a, std::optional<int>& out) {
  auto v = a.value("quality");
  if (!v) return true;
  int64_t q;
  if (!intArg(a, *v, 1, 100, q, "quality")) return false;
  out = static_cast<int>(q);
  return true;
}

// Reads "FILE" (relative to the source's folder) and, when `image` is given,
// decodes it as a PNG or JPEG image.
bool Compiler::imageFile(Args& a, const std::string& word, std::vector<uint8_t>& bytes, RgbaImage* image) {
  std::string name;
  if (!stringArg(a, word, name, "image file")) return false;
  const std::string path = sourcePath(name);
  std::string error;
  if (!readFileBytes(path, bytes, error)) {
    diag_.error(a.line(), "cannot read image file \"" + name + "\"");
    return false;
  }
  if (image && !decodeImage(bytes, *image, error)) {
    diag_.error(a.line(), "\"" + name + "\" is not a readable image: " + error);
    return false;
  }
  return true;
}

// Bitmap characters come from an image file, or from the exact bytes that
// qvx-dump prints (the file they came from is not in the movie).
bool Compiler::bitmap(const Node& node, Args& a, uint16_t& code, std::vector<uint8_t>& body) {
  const std::string& head = node.head();
  std::string error;
  if (head == "jpegtables") {
    code = static_cast<uint16_t>(TagCode::JPEGTables);
    if (!a.expect(0, 0, "jpegtables [quality=N] | jpegtables data=HEX")) return false;
    std::optional<int> quality;
    if (!qualityArg(a, quality)) return false;
    if (auto data = a.value("data")) {
      jpegTablesQuality_.reset();
      if (quality) error = "jpegtables takes quality= or data=, not both";
      else if (!parseHexWords({*data}, 0, body)) error = "data= must be hex bytes";
      if (!error.empty()) diag_.error(node.line, error);
      return error.empty();
    }
    jpegTablesQuality_ = quality.value_or(kDefaultJpegQuality);
    if (!jpegTablesData(*jpegTablesQuality_, body, error)) diag_.error(node.line, error);
    return error.empty();
  }

  const bool lossless = head == "lossless" || head == "lossless2";
  static constexpr const char* kUsage[] = {
      "lossless|lossless2 ID \"FILE\" [format=3|4|5]", "jpeg ID \"FILE\" [quality=N]", "bits ID \"FILE\" [quality=N]",
      "jpeg3 ID \"FILE\" [quality=N]"};
  const char* usage = lossless ? kUsage[0] : head == "jpeg" ? kUsage[1] : head == "bits" ? kUsage[2] : kUsage[3];
  uint16_t id;
  if (!a.expect(1, 2, usage) || !u16Arg(a, 0, id, "bitmap id")) return false;
  const bool fromFile = a.positionalCount() == 2;
  std::vector<uint8_t> bytes;
  RgbaImage image;

  if (lossless) {
    const bool alpha = head == "lossless2";
    code = static_cast<uint16_t>(alpha ? TagCode::DefineBitsLossless2 : TagCode::DefineBitsLossless);
    LosslessData d;
    int64_t v;
    if (fromFile) {
      int64_t format = kLosslessArgb32;
      if (auto f = a.value("format"))
        if (!intArg(a, *f, 3, 5, format, "format")) return false;
      if (!imageFile(a, a.positional(1), bytes, &image)) return false;
      if (!encodeLossless(image, static_cast<int>(format), alpha, d, error)) {
        diag_.error(node.line, error);
        return false;
      }
    } else {
      auto f = a.value("format");
      auto size = a.value("size");
      if (!f || !size) {
        diag_.error(node.line, std::string("usage: ") + usage + ", or format=N size=WxH [colors=N] zlib=HEX");
        return false;
      }
      if (!intArg(a, *f, 0, 255, v, "format")) return false;
      d.format = static_cast<uint8_t>(v);
      const std::vector<std::string> wh = splitList(*size, 'x');
      int64_t w, h;
      if (wh.size() != 2 || !parseInt(wh[0], w) || !parseInt(wh[1], h) || w < 0 || h < 0 || w > 0xFFFF ||
          h > 0xFFFF) {
        diag_.error(node.line, "size=" + *size + ": expected WIDTHxHEIGHT, each 0..65535");
        return false;
      }
      d.width = static_cast<uint16_t>(w);
      d.height = static_cast<uint16_t>(h);
      auto colors = a.value("colors");
      if (d.format <= kLosslessIndex8) {
        if (!colors) {
          diag_.error(node.line, "formats up to 3 need colors=N (1..256)");
          return false;
        }
        if (!intArg(a, *colors, 1, 256, v, "colors")) return false;
        d.colors = static_cast<uint16_t>(v);
      } else if (colors) {
        diag_.error(node.line, "colors= goes only with formats up to 3");
        return false;
      }
      if (!hexValue(a, "zlib", d.zlib)) return false;
    }
    body = losslessBody(id, d);
    return true;
  }

  std::optional<int> quality;
  if (fromFile && !qualityArg(a, quality)) return false;
  if (head == "jpeg" || head == "bits") {
    const bool shared = head == "bits";
    code = static_cast<uint16_t>(shared ? TagCode::DefineBits : TagCode::DefineBitsJPEG2);
    std::vector<uint8_t> jpeg;
    if (!fromFile) {
      if (!hexValue(a, "data", jpeg)) return false;
    } else if (shared && !jpegTablesQuality_ && !quality) {
      diag_.error(node.line, "bits from a file needs a 'jpegtables [quality=N]' line before it, or quality=N");
      return false;
    } else if (shared && jpegTablesQuality_ && quality && *quality != *jpegTablesQuality_) {
      diag_.error(node.line, "bits quality=" + std::to_string(*quality) + " differs from the quality " +
                                 std::to_string(*jpegTablesQuality_) + " of the jpegtables line before it");
      return false;
    } else {
      if (!imageFile(a, a.positional(1), bytes, nullptr)) return false;
      if (!shared && isJpegData(bytes) && !quality) {
        jpeg = std::move(bytes);  // embedded as it is
      } else {
        const bool ok = decodeImage(bytes, image, error) &&
                        (shared ? encodeJpegWithoutTables(image, quality ? *quality : *jpegTablesQuality_, jpeg, error)
                                : encodeJpeg(image, quality.value_or(kDefaultJpegQuality), jpeg, error));
        if (!ok) {
          diag_.error(node.line, error);
          return false;
        }
      }
    }
    body = jpegBody(id, jpeg);
    return true;
  }
  // jpeg3
  code = static_cast<uint16_t>(TagCode::DefineBitsJPEG3);
  std::vector<uint8_t> jpeg, alpha;
  if (!fromFile) {
    if (!hexValue(a, "data", jpeg) || !hexValue(a, "alpha", alpha)) return false;
  } else if (!imageFile(a, a.positional(1), bytes, &image) ||
             !encodeJpegAlpha(image, quality.value_or(kDefaultJpegQuality), jpeg, alpha, error)) {
    if (!error.empty()) diag_.error(node.line, error);
    return false;
  }
  body = jpegAlphaBody(id, jpeg, alpha);
  return true;
}

bool Compiler::soundFile(Args& a, const std::string& word, kit::PcmSound& out) {
  std::string name, error;
  std::vector<uint8_t> bytes;
  if (!stringArg(a, word, name, "sound file")) return false;
  if (!readFileBytes(sourcePath(name), bytes, error)) {
    diag_.error(a.line(), "cannot read sound file \"" + name + "\"");
    return false;
  }
  if (!kit::decodeWav(bytes, out, error)) {
    diag_.error(a.line(), "\"" + name + "\": " + error);
    return false;
  }
  if (kit::soundRateIndex(out.rate) < 0) {
    diag_.error(a.line(), "\"" + name + "\": the rate must be 5512, 11025, 22050 or 44100 Hz, not " +
                              std::to_string(out.rate));
    return false;
  }
  return true;
}

// codec=raw|adpcm [bits=2..5]: raw is little-endian PCM as the file has it,
// ADPCM is our encoding of the samples widened to 16 bits.
bool Compiler::soundCodec(Args& a, int& codec, int& bits) {
  codec = 3;
  bits = 4;
  if (auto c = a.value("codec")) {
    if (*c == "adpcm") codec = 1;
    else if (*c != "raw") {
      diag_.error(a.line(), "codec=" + *c + ": expected raw or adpcm");
      return false;
    }
  }
  if (auto b = a.value("bits")) {
    int64_t v;
    if (!intArg(a, *b, 2, 5, v, "bits")) return false;
    if (codec != 1) {
      diag_.error(a.line(), "bits= goes only with codec=adpcm");
      return false;
    }
    bits = static_cast<int>(v);
  }
  return true;
}

// DefineSound from a WAV file, or from the exact bytes of a dump.
bool Compiler::sound(const Node& node, Args& a, std::vector<uint8_t>& body) {
  static constexpr const char* kUsage =
      "sound ID \"FILE.wav\" [codec=raw|adpcm] [bits=2..5] | sound ID \"FILE.mp3\" [seek=N] | "
      "sound ID format=N samples=N data=HEX";
  uint16_t id;
  if (!a.expect(1, 2, kUsage) || !u16Arg(a, 0, id, "sound id")) return false;
  if (a.positionalCount() == 1) {
    auto f = a.value("format");
    auto n = a.value("samples");
    int64_t format, samples;
    std::vector<uint8_t> data;
    if (!f || !n) {
      diag_.error(node.line, std::string("usage: ") + kUsage);
      return false;
    }
    if (!intArg(a, *f, 0, 255, format, "format") || !intArg(a, *n, 0, 0xFFFFFFFF, samples, "samples") ||
        !hexValue(a, "data", data))
      return false;
    body = kit::defineSoundBody(id, static_cast<uint8_t>(format), static_cast<uint32_t>(samples), data);
    return true;
  }
  std::string name;
  if (!stringArg(a, a.positional(1), name, "sound file")) return false;
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") == 0) {
    // MPEG frames as they are, after the sample count and the seek samples.
    std::vector<uint8_t> bytes;
    std::string error;
    kit::Mp3Sound mp3;
    int64_t seek = 0;
    if (auto s = a.value("seek"))
      if (!intArg(a, *s, -32768, 32767, seek, "seek")) return false;
    if (!readFileBytes(sourcePath(name), bytes, error) || !kit::readMp3(bytes, mp3, error)) {
      diag_.error(node.line, "\"" + name + "\": " + (error.empty() ? "cannot read it" : error));
      return false;
    }
    mp3.data.insert(mp3.data.end(), mp3.id3v1.begin(), mp3.id3v1.end());
    body = kit::defineSoundBody(id, kit::soundFormatByte(2, kit::soundRateIndex(mp3.rate), true, mp3.channels == 2),
                                mp3.samples, mp3.data, static_cast<int16_t>(seek));
    return true;
  }
  kit::PcmSound pcm;
  int codec, bits;
  if (!soundCodec(a, codec, bits) || !soundFile(a, a.positional(1), pcm)) return false;
  const int rateIndex = kit::soundRateIndex(pcm.rate);
  const bool stereo = pcm.channels == 2;
  if (codec == 1) {
    const std::vector<uint8_t> data = kit::encodeAdpcm(kit::pcm16(pcm), pcm.channels, bits);
    body = kit::defineSoundBody(id, kit::soundFormatByte(1, rateIndex, true, stereo),
                                static_cast<uint32_t>(pcm.frames()), data);
  } else {
    body = kit::defineSoundBody(id, kit::soundFormatByte(3, rateIndex, pcm.bits == 16, stereo),
                                static_cast<uint32_t>(pcm.frames()), pcm.data);
  }
  return true;
}

// [in=N] [out=N] [loops=N] [envelope=POS:LEFT:RIGHT,...] [nomultiple] [stop]
bool Compiler::soundInfo(Args& a, kit::SoundInfoRecord& info) {
  int64_t v;
  if (auto s = a.value("in")) {
    if (!intArg(a, *s, 0, 0xFFFFFFFF, v, "in point")) return false;
    info.hasIn = true;
    info.in = static_cast<uint32_t>(v);
  }
  if (auto s = a.value("out")) {
    if (!intArg(a, *s, 0, 0xFFFFFFFF, v, "out point")) return false;
    info.hasOut = true;
    info.out = static_cast<uint32_t>(v);
  }
  if (auto s = a.value("loops")) {
    if (!intArg(a, *s, 0, 0xFFFF, v, "loops")) return false;
    info.hasLoops = true;
    info.loops = static_cast<uint16_t>(v);
  }
  if (auto s = a.value("envelope")) {
    info.hasEnvelope = true;
    for (const std::string& point : splitList(*s)) {
      const std::vector<std::string> parts = splitList(point, ':');
      int64_t pos, left, right;
      if (parts.size() != 3 || !parseInt(parts[0], pos) || !parseInt(parts[1], left) || !parseInt(parts[2], right) ||
          pos < 0 || pos > 0xFFFFFFFF || left < 0 || left > 0xFFFF || right < 0 || right > 0xFFFF) {
        diag_.error(a.line(), "envelope point " + point + ": expected POSITION:LEFT:RIGHT");
        return false;
      }
      info.envelope.push_back({static_cast<uint32_t>(pos), static_cast<uint16_t>(left), static_cast<uint16_t>(right)});
    }
    if (info.envelope.size() > 255) {
      diag_.error(a.line(), "an envelope has at most 255 points");
      return false;
    }
  }
  info.noMultiple = a.flag("nomultiple");
  info.stop = a.flag("stop");
  return true;
}

// edittext ID bounds=.. [font=ID height=H] [color=C] [maxlen=N] [align=..]
// [margins=L,R] [indent=I] [leading=L] [var="NAME"] [text="TEXT"] [flags=..]
bool Compiler::editText(Args& a, std::vector<uint8_t>& body) {
  kit::EditText e;
  uint16_t id;
  if (!a.expect(1, 1, "edittext ID bounds=XMIN,XMAX,YMIN,YMAX [font=ID height=H] [color=C] [maxlen=N] ...") ||
      !u16Arg(a, 0, id, "edittext id") || !rectArg(a, "bounds", e.bounds, true))
    return false;
  uint32_t flags = 0;
  if (auto f = a.value("flags"); f && !namedBits(a, *f, kEditTextFlags, 0xFFFF, flags, "edittext flag")) return false;
  e.flags = static_cast<uint16_t>(flags);
  // A twips value in [lo, hi].
  auto twips = [&](const std::string& text, int32_t lo, int32_t hi, const char* what, int32_t& out) {
    if (parseTwips(text, out) && out >= lo && out <= hi) return true;
    diag_.error(a.line(), std::string(what) + " '" + text + "' is not twips (or px) in " + std::to_string(lo) +
                              ".." + std::to_string(hi));
    return false;
  };
  int64_t v;
  int32_t t;
  auto font = a.value("font");
  auto height = a.value("height");
  if (font || height) {
    if (!font || !height) {
      diag_.error(a.line(), "font= and height= go together");
      return false;
    }
    if (!intArg(a, *font, 0, 0xFFFF, v, "font id") || !twips(*height, 0, 0xFFFF, "height", t)) return false;
    e.fontId = static_cast<uint16_t>(v);
    e.height = static_cast<uint16_t>(t);
    e.flags |= kit::kEditHasFont;
  }
  if (auto c = a.value("color")) {
    if (!colorArg(a, *c, true, e.color)) return false;
    e.flags |= kit::kEditHasColor;
  }
  if (auto m = a.value("maxlen")) {
    if (!intArg(a, *m, 0, 0xFFFF, v, "maxlen")) return false;
    e.maxLength = static_cast<uint16_t>(v);
    e.flags |= kit::kEditHasMaxLength;
  }
  if (auto al = a.value("align")) {
    if (*al == "left" || *al == "right" || *al == "center") {
      e.align = *al == "left" ? 0 : *al == "right" ? 1 : 2;
    } else if (intArg(a, *al, 0, 255, v, "align")) {
      e.align = static_cast<uint8_t>(v);
    } else {
      return false;
    }
    e.flags |= kit::kEditHasLayout;
  }
  if (auto m = a.value("margins")) {
    const std::vector<std::string> parts = splitList(*m);
    int32_t left, right;
    if (parts.size() != 2) {
      diag_.error(a.line(), "margins=" + *m + ": expected LEFT,RIGHT");
      return false;
    }
    if (!twips(parts[0], 0, 0xFFFF, "left margin", left) || !twips(parts[1], 0, 0xFFFF, "right margin", right))
      return false;
    e.leftMargin = static_cast<uint16_t>(left);
    e.rightMargin = static_cast<uint16_t>(right);
    e.flags |= kit::kEditHasLayout;
  }
  if (auto i = a.value("indent")) {
    if (!twips(*i, INT16_MIN, INT16_MAX, "indent", t)) return false;
    e.indent = static_cast<int16_t>(t);
    e.flags |= kit::kEditHasLayout;
  }
  if (auto l = a.value("leading")) {
    if (!twips(*l, INT16_MIN, INT16_MAX, "leading", t)) return false;
    e.leading = static_cast<int16_t>(t);
    e.flags |= kit::kEditHasLayout;
  }
  if (auto s = a.value("var"); s && !stringArg(a, *s, e.variable, "var")) return false;
  if (auto s = a.value("text")) {
    if (!stringArg(a, *s, e.text, "text")) return false;
    e.flags |= kit::kEditHasText;
  }
  std::string error;
  body = kit::defineEditTextBody(id, e, error);
  if (!error.empty()) diag_.error(a.line(), "edittext: " + error);
  return error.empty();
}

// SoundStreamHead from a WAV file whose blocks `streamblock` lines hand out,
// or from its fields.
bool Compiler::streamHead(const Node& node, Args& a, std::vector<uint8_t>& body) {
  static constexpr const char* kUsage =
      "streamhead \"FILE.wav\" [codec=raw|adpcm] [bits=2..5] [perblock=N] | streamhead \"FILE.mp3\" [perblock=N] | "
      "streamhead format=N perblock=N [playback=N]";
  if (!a.expect(0, 1, kUsage)) return false;
  int64_t perBlock = 0;
  if (auto p = a.value("perblock"))
    if (!intArg(a, *p, 1, 0xFFFF, perBlock, "perblock")) return false;
  if (a.positionalCount() == 0) {
    auto f = a.value("format");
    int64_t format, playback;
    if (!f || perBlock == 0) {
      diag_.error(node.line, std::string("usage: ") + kUsage);
      return false;
    }
    if (!intArg(a, *f, 0, 255, format, "format")) return false;
    playback = format;
    if (auto p = a.value("playback"))
      if (!intArg(a, *p, 0, 255, playback, "playback")) return false;
    stream_.reset();
    body = kit::soundStreamHeadBody(static_cast<uint8_t>(playback), static_cast<uint8_t>(format),
                                    static_cast<uint16_t>(perBlock));
    return true;
  }
  Stream st;
  std::string name;
  if (!stringArg(a, a.positional(0), name, "sound file")) return false;
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".mp3") == 0) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!readFileBytes(sourcePath(name), bytes, error) || !kit::readMp3(bytes, st.mp3, error)) {
      diag_.error(node.line, "\"" + name + "\": " + (error.empty() ? "cannot read it" : error));
      return false;
    }
    st.isMp3 = true;
    if (perBlock == 0) perBlock = std::max<int64_t>(1, std::lround(st.mp3.rate / (frameRate_ > 0 ? frameRate_ : 12)));
    st.perBlock = static_cast<uint32_t>(perBlock);
    const uint8_t format = kit::soundFormatByte(2, kit::soundRateIndex(st.mp3.rate), true, st.mp3.channels == 2);
    body = kit::soundStreamHeadBody(format, format, static_cast<uint16_t>(perBlock));
    stream_ = std::move(st);
    return true;
  }
  if (!soundCodec(a, st.codec, st.bits) || !soundFile(a, a.positional(0), st.pcm)) return false;
  if (perBlock == 0) perBlock = std::max<int64_t>(1, std::lround(st.pcm.rate / (frameRate_ > 0 ? frameRate_ : 12)));
  if (perBlock > 0xFFFF) perBlock = 0xFFFF;
  st.perBlock = static_cast<uint32_t>(perBlock);
  const uint8_t format = kit::soundFormatByte(st.codec, kit::soundRateIndex(st.pcm.rate),
                                              st.codec == 1 || st.pcm.bits == 16, st.pcm.channels == 2);
  body = kit::soundStreamHeadBody(format, format, static_cast<uint16_t>(perBlock));
  stream_ = std::move(st);
  return true;
}

// The next block of the stream's file: as many frames as a block holds, or
// what is left of the file.
bool Compiler::streamBlock(const Node& node, std::vector<uint8_t>& body) {
  if (!stream_) {
    diag_.error(node.line, "streamblock needs a 'streamhead \"FILE.wav\"' line before it (or use raw 19)");
    return false;
  }
  Stream& st = *stream_;
  if (st.isMp3) {
    // Sample count, seek samples (none), then whole MPEG frames.
    const uint64_t until = (st.blocks + 1) * st.perBlock;
    const size_t from = st.next;
    uint32_t samples = 0;
    while (st.next < st.mp3.frameStarts.size() && st.samplesOut < until) {
      samples += st.mp3.frameSamples[st.next];
      st.samplesOut += st.mp3.frameSamples[st.next];
      ++st.next;
    }
    ++st.blocks;
    const size_t begin = from < st.mp3.frameStarts.size() ? st.mp3.frameStarts[from] : st.mp3.data.size();
    const size_t end = st.next < st.mp3.frameStarts.size() ? st.mp3.frameStarts[st.next] : st.mp3.data.size();
    body.clear();
    body.push_back(static_cast<uint8_t>(samples));
    body.push_back(static_cast<uint8_t>(samples >> 8));
    body.push_back(0);
    body.push_back(0);
    body.insert(body.end(), st.mp3.data.begin() + static_cast<std::ptrdiff_t>(begin),
                st.mp3.data.begin() + static_cast<std::ptrdiff_t>(end));
    return true;
  }
  const size_t frames = st.pcm.frames();
  if (st.next >= frames) {
    diag_.error(node.line, "streamblock: the stream's sound file has no samples left");
    return false;
  }
  const size_t count = std::min<size_t>(st.perBlock, frames - st.next);
  kit::PcmSound part = st.pcm;
  const size_t frameBytes = static_cast<size_t>(st.pcm.channels * st.pcm.bits / 8);
  part.data.assign(st.pcm.data.begin() + static_cast<std::ptrdiff_t>(st.next * frameBytes),
                   st.pcm.data.begin() + static_cast<std::ptrdiff_t>((st.next + count) * frameBytes));
  st.next += count;
  body = st.codec == 1 ? kit::encodeAdpcm(kit::pcm16(part), part.channels, st.bits) : part.data;
  return true;
}

std::string Compiler::sourcePath(const std::string& name) const {
  return baseDir_.empty() || name.empty() || name[0] == '/' ? name : baseDir_ + "/" + name;
}

// Named style bits, language and extra flag bits shared by the font lines.
bool Compiler::fontFlags(Args& a, Font& f, bool second, bool info) {
  f.bold = a.flag("bold");
  f.italic = a.flag("italic");
  f.wideCodes = a.flag("wide");
  if (second) {
    f.wideOffsets = a.flag("wideoffsets");
  }
  int64_t v;
  if (auto s = a.value("name"))
    if (!stringArg(a, *s, f.name, "name")) return false;
  f.language = 1;  // 0 is not a language; the player warns about it
  if (auto s = a.value("language")) {
    if (!intArg(a, *s, 0, 255, v, "language")) return false;
    f.language = static_cast<uint8_t>(v);
  }
  if (auto s = a.value("flags")) {
    // Bits without a name; the named ones are the words above.
    const int64_t named = info ? 0x07 : 0x8F;
    if (!intArg(a, *s, 0, 255, v, "flags")) return false;
    if (v & named) {
      diag_.error(a.line(), "flags= holds only the bits without a name (bold, italic, wide, ...)");
      return false;
    }
    f.extraFlags = static_cast<uint8_t>(v);
  }
  return true;
}

// Tag 48 (`font`) or tag 10 (`font1`): glyphs from a font file, or the
// glyph shapes as hex, one `glyph` line each (the form qvx-dump prints).
bool Compiler::font(const Node& node, bool second, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  const char* usage = second ? "font ID \"FILE\" chars=\"...\" [name=\"NAME\"] [bold] [italic] [wide] [wideoffsets] "
                               "[layout] [language=N], or font ID [layout=ASCENT,DESCENT,LEADING] ... { glyph lines }"
                             : "font1 ID \"FILE\" chars=\"...\" [device], or font1 ID { glyph lines }";
  uint16_t id;
  if (!a.expect(1, 2, usage) || !u16Arg(a, 0, id, "font id")) return false;
  KnownFont known;
  Font& f = known.font;
  if (!second && (a.flag("bold") || a.flag("italic") || a.flag("wide") || a.value("name") || a.value("language") ||
                  a.value("flags"))) {
    diag_.error(node.line, "font1 takes no style or name: they go on its fontinfo line");
    return false;
  }
  if (!fontFlags(a, f, second, false)) return false;
  const bool fromFile = a.positionalCount() == 2;
  // A device font: the file gives codes and advances for the text that
  // uses it, and the movie carries no outlines.
  const bool device = !second && a.flag("device");
  if (device && !fromFile) {
    diag_.error(node.line, "a device font1 takes its codes and advances from a font file");
    return false;
  }
  if (fromFile) {
    if (node.hasBlock) {
      diag_.error(node.line, "a font from a file takes no block");
      return false;
    }
    std::string name, chars;
    if (!stringArg(a, a.positional(1), name, "font file")) return false;
    auto c = a.value("chars");
    if (!c) {
      diag_.error(node.line, "missing chars=\"...\": the characters the font carries");
      return false;
    }
    std::vector<uint32_t> codes;
    if (!stringArg(a, *c, chars, "chars")) return false;
    if (!decodeUtf8(chars, codes)) {
      diag_.error(node.line, "chars= is not valid UTF-8");
      return false;
    }
    for (size_t i = 0; i < codes.size(); ++i) {
      if (std::find(codes.begin(), codes.begin() + static_cast<long>(i), codes[i]) != codes.begin() + static_cast<long>(i)) {
        diag_.error(node.line, "chars= names a character twice");
        return false;
      }
    }
    if (second) f.layout = a.flag("layout");
    std::string error;
    if (!loadFontFile(sourcePath(name), codes, f, error)) {
      diag_.error(node.line, error);
      return false;
    }
    known.advances = true;
  } else {
    if (second) {
      if (auto s = a.value("layout")) {
        const std::vector<std::string> parts = splitList(*s);
        int64_t m[3];
        bool ok = parts.size() == 3;
        for (size_t i = 0; ok && i < 3; ++i) ok = parseInt(parts[i], m[i]) && m[i] >= -32768 && m[i] <= 32767;
        if (!ok) {
          diag_.error(node.line, "layout=" + *s + ": expected ASCENT,DESCENT,LEADING");
          return false;
        }
        f.layout = true;
        f.ascent = static_cast<int16_t>(m[0]);
        f.descent = static_cast<int16_t>(m[1]);
        f.leading = static_cast<int16_t>(m[2]);
        known.advances = true;
      }
    }
    if (!node.hasBlock) {
      diag_.error(node.line, std::string("usage: ") + usage);
      return false;
    }
    for (const Node& child : node.children) {
      Args g(child, diag_);
      Glyph glyph;
      const size_t want = second ? 2 : 1;
      if (child.head() != "glyph" || !g.expect(want, want, second ? "glyph CODE HEX [advance=N bounds=...]" : "glyph HEX")) {
        if (child.head() != "glyph") diag_.error(child.line, "unknown font line '" + child.head() + "'");
        return false;
      }
      int64_t v;
      if (second) {
        if (!intArg(g, g.positional(0), 0, 0xFFFF, v, "character code")) return false;
        glyph.code = static_cast<uint32_t>(v);
      }
      if (!parseHexWords({g.positional(want - 1)}, 0, glyph.shape)) {
        diag_.error(child.line, "the glyph shape must be hex bytes");
        return false;
      }
      if (f.layout) {
        auto adv = g.value("advance");
        if (!adv || !intArg(g, *adv, -32768, 32767, v, "advance")) {
          if (!adv) diag_.error(child.line, "a font with layout needs advance=N on every glyph");
          return false;
        }
        glyph.advance = static_cast<int16_t>(v);
        if (!rectArg(g, "bounds", glyph.bounds, true)) return false;
      }
      g.finish();
      f.glyphs.push_back(std::move(glyph));
    }
  }
  a.finish();
  if (!diag_.ok()) return false;
  std::string error;
  body = second ? defineFont2Body(id, f, error) : defineFontBody(id, device ? Font{} : f, error);
  if (!error.empty()) {
    diag_.error(node.line, error);
    return false;
  }
  fonts_[id] = std::move(known);
  return true;
}

// Tag 13 (`fontinfo`) or 62 (`fontinfo2`, with a language): the name, style
// and code table of a tag 10 font; the codes default to that font's chars.
bool Compiler::fontInfo(const Node& node, bool second, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  uint16_t id;
  if (!a.expect(1, 1, second ? "fontinfo2 ID [name=\"NAME\"] [bold] [italic] [wide] language=N [codes=C,...]"
                             : "fontinfo ID [name=\"NAME\"] [bold] [italic] [wide] [codes=C,...]") ||
      !u16Arg(a, 0, id, "font id"))
    return false;
  Font f;
  if (!second && a.value("language")) {
    diag_.error(node.line, "language= goes with fontinfo2");
    return false;
  }
  if (!fontFlags(a, f, false, true)) return false;
  auto known = fonts_.find(id);
  std::vector<uint32_t> codes;
  if (auto s = a.value("codes")) {
    for (const std::string& word : s->empty() ? std::vector<std::string>{} : splitList(*s)) {
      int64_t v;
      if (!intArg(a, word, 0, 0xFFFF, v, "character code")) return false;
      codes.push_back(static_cast<uint32_t>(v));
    }
  } else if (known != fonts_.end()) {
    for (const Glyph& g : known->second.font.glyphs) codes.push_back(g.code);
  } else {
    diag_.error(node.line, "fontinfo " + std::to_string(id) + " has no font1 before it: give codes=C,...");
    return false;
  }
  // A font1 without glyphs (a device font) takes any code table.
  if (known != fonts_.end() && !known->second.font.glyphs.empty() && codes.size() != known->second.font.glyphs.size()) {
    diag_.error(node.line, "the code table has " + std::to_string(codes.size()) + " codes, the font " +
                               std::to_string(known->second.font.glyphs.size()) + " glyphs");
    return false;
  }
  for (uint32_t c : codes) {
    Glyph g;
    g.code = c;
    f.glyphs.push_back(g);
  }
  a.finish();
  if (!diag_.ok()) return false;
  std::string error;
  body = defineFontInfoBody(id, f, second, error);
  if (!error.empty()) {
    diag_.error(node.line, error);
    return false;
  }
  if (known != fonts_.end() && codes.size() == known->second.font.glyphs.size())
    for (size_t i = 0; i < codes.size(); ++i) known->second.font.glyphs[i].code = codes[i];
  return true;
}

// One `run` line. The string, when there is one, may stand anywhere after
// the word `run`.
bool Compiler::textRun(const Node& node, bool rgba, TextRun& run, uint16_t& fontId, uint16_t& height) {
  Node copy = node;
  std::optional<std::string> str;
  for (size_t i = 1; i < copy.words.size(); ++i) {
    if (copy.words[i].empty() || copy.words[i][0] != '"') continue;
    if (str) {
      diag_.error(node.line, "a run takes one string");
      return false;
    }
    str.emplace();
    if (!parseQuoted(copy.words[i], *str)) {
      diag_.error(node.line, "malformed string " + copy.words[i]);
      return false;
    }
    copy.words.erase(copy.words.begin() + static_cast<long>(i--));
  }
  Args a(copy, diag_);
  if (!a.expect(0, 0, "run [font=ID height=H] [color=C] [at=X,Y] [x=X] [y=Y] (\"TEXT\" | glyphs=I,...) "
                      "[advances=A,...]"))
    return false;
  int64_t v;
  auto fontWord = a.value("font");
  auto heightWord = a.value("height");
  if (fontWord.has_value() != heightWord.has_value()) {
    diag_.error(node.line, "font= and height= go together");
    return false;
  }
  if (fontWord) {
    int32_t h;
    if (!intArg(a, *fontWord, 0, 0xFFFF, v, "font id")) return false;
    if (!parseTwips(*heightWord, h) || h < 0 || h > 0xFFFF) {
      diag_.error(node.line, "height=" + *heightWord + ": expected twips (or px) up to 65535");
      return false;
    }
    fontId = static_cast<uint16_t>(v);
    height = static_cast<uint16_t>(h);
    run.fontId = fontId;
    run.height = height;
  }
  if (auto c = a.value("color")) {
    Rgba color;
    if (!colorArg(a, *c, rgba, color)) return false;
    run.color = color;
  }
  auto position = [&](const std::string& text, std::optional<int16_t>& out) {
    int32_t t;
    if (!parseTwips(text, t) || t < -32768 || t > 32767) {
      diag_.error(node.line, "position " + text + ": expected twips (or px) in 16 bits");
      return false;
    }
    out = static_cast<int16_t>(t);
    return true;
  };
  if (auto at = a.value("at")) {
    const std::vector<std::string> parts = splitList(*at);
    if (parts.size() != 2) {
      diag_.error(node.line, "at=" + *at + ": expected X,Y");
      return false;
    }
    if (!position(parts[0], run.x) || !position(parts[1], run.y)) return false;
  }
  if (auto x = a.value("x"))
    if (!position(*x, run.x)) return false;
  if (auto y = a.value("y"))
    if (!position(*y, run.y)) return false;
  auto glyphWords = a.value("glyphs");
  auto advanceWords = a.value("advances");
  if (glyphWords && str) {
    diag_.error(node.line, "a run takes a string or glyphs=, not both");
    return false;
  }
  if (glyphWords) {
    for (const std::string& w : splitList(*glyphWords)) {
      if (!intArg(a, w, 0, 0xFFFF, v, "glyph index")) return false;
      run.glyphs.push_back(static_cast<uint32_t>(v));
    }
  }
  const auto known = fonts_.find(fontId);
  if (str) {
    std::vector<uint32_t> codes;
    if (!decodeUtf8(*str, codes)) {
      diag_.error(node.line, "the string is not valid UTF-8");
      return false;
    }
    if (!codes.empty() && known == fonts_.end()) {
      diag_.error(node.line, "no font " + std::to_string(fontId) + " defined before this text");
      return false;
    }
    for (uint32_t c : codes) {
      const std::vector<Glyph>& glyphs = known->second.font.glyphs;
      auto it = std::find_if(glyphs.begin(), glyphs.end(), [c](const Glyph& g) { return g.code == c; });
      if (it == glyphs.end()) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "U+%04X", c);
        diag_.error(node.line, std::string("character ") + buf + " is not in font " + std::to_string(fontId));
        return false;
      }
      run.glyphs.push_back(static_cast<uint32_t>(it - glyphs.begin()));
    }
  }
  if (advanceWords) {
    for (const std::string& w : splitList(*advanceWords)) {
      int32_t t;
      if (!parseTwips(w, t)) {
        diag_.error(node.line, "advance " + w + ": expected twips");
        return false;
      }
      run.advances.push_back(t);
    }
    if (run.advances.size() != run.glyphs.size()) {
      diag_.error(node.line, std::to_string(run.advances.size()) + " advances for " +
                                 std::to_string(run.glyphs.size()) + " glyphs");
      return false;
    }
  } else if (!run.glyphs.empty()) {
    if (known == fonts_.end() || !known->second.advances) {
      diag_.error(node.line, "font " + std::to_string(fontId) + " has no advances: give advances=A,...");
      return false;
    }
    for (uint32_t g : run.glyphs) {
      if (g >= known->second.font.glyphs.size()) {
        diag_.error(node.line, "glyph index " + std::to_string(g) + " is past the font's glyphs");
        return false;
      }
      run.advances.push_back(
          static_cast<int32_t>(std::lround(known->second.font.glyphs[g].advance * double(height) / kEmSquare)));
    }
  }
  a.finish();
  return diag_.ok();
}

// Tag 11 (`text`) or 33 (`text2`). Without bounds=, the box spans the runs'
// advances and, from each baseline, the font's ascent and descent.
bool Compiler::text(const Node& node, bool rgba, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  uint16_t id;
  const char* usage = rgba ? "text2 ID [bounds=..] [matrix] { run lines }" : "text ID [bounds=..] [matrix] { run lines }";
  if (!a.expect(1, 1, usage) || !u16Arg(a, 0, id, "text id")) return false;
  StaticText t;
  std::optional<RECT> given;
  if (a.value("bounds").has_value()) {
    Node tmp = node;
    Args b(tmp, diag_);
    RECT r;
    if (!rectArg(b, "bounds", r, true)) return false;
    given = r;
  }
  t.matrix = matrixArgs(a).value_or(MATRIX{});
  a.finish();
  if (!node.hasBlock) {
    diag_.error(node.line, std::string("usage: ") + usage);
    return false;
  }
  uint16_t fontId = 0, height = 0;
  int32_t x = 0, y = 0;
  bool any = false;
  RECT box;
  for (const Node& child : node.children) {
    if (child.head() != "run") {
      diag_.error(child.line, "unknown text line '" + child.head() + "'");
      return false;
    }
    TextRun run;
    if (!textRun(child, rgba, run, fontId, height)) return false;
    if (run.x) x = *run.x;
    if (run.y) y = *run.y;
    int32_t end = x;
    for (int32_t adv : run.advances) end += adv;
    if (!run.glyphs.empty()) {
      int32_t up = 0, down = 0;
      const auto known = fonts_.find(fontId);
      if (known != fonts_.end()) {
        up = static_cast<int32_t>(std::lround(known->second.font.ascent * double(height) / kEmSquare));
        down = static_cast<int32_t>(std::lround(known->second.font.descent * double(height) / kEmSquare));
      }
      const RECT r{std::min(x, end), std::max(x, end), y - up, y + down};
      if (!any) box = r;
      any = true;
      box = RECT{std::min(box.xmin, r.xmin), std::max(box.xmax, r.xmax), std::min(box.ymin, r.ymin),
                 std::max(box.ymax, r.ymax)};
    }
    x = end;
    t.runs.push_back(std::move(run));
  }
  t.bounds = given ? *given : any ? box : RECT{};
  std::string error;
  body = defineTextBody(id, t, rgba, error);
  if (!error.empty()) diag_.error(node.line, error);
  return error.empty();
}

bool Compiler::styleLine(const Node& node, bool rgba, StyleArrays& arrays) {
  Args a(node, diag_);
  if (node.head() == "line") {
    if (!a.expect(2, 2, "line WIDTH COLOUR")) return false;
    LineStyle l;
    if (!u16Arg(a, 0, l.width, "line width") || !colorArg(a, a.positional(1), rgba, l.color)) return false;
    a.finish();
    arrays.lines.push_back(l);
    return true;
  }
  if (a.positionalCount() < 1) {
    diag_.error(node.line, "usage: fill solid|linear|radial|bitmap ...");
    return false;
  }
  const std::string kind = a.positional(0);
  FillStyle f;
  if (kind == "solid") {
    if (!a.expect(2, 2, "fill solid COLOUR") || !colorArg(a, a.positional(1), rgba, f.color)) return false;
  } else if (kind == "linear" || kind == "radial") {
    f.type = kind == "linear" ? kFillLinear : kFillRadial;
    for (size_t i = 1; i < a.positionalCount(); ++i) {
      const std::vector<std::string> parts = splitList(a.positional(i), ':');
      int64_t ratio;
      GradientStop stop;
      if (parts.size() != 2) {
        diag_.error(node.line, "gradient stop '" + a.positional(i) + "' must be RATIO:COLOUR");
        return false;
      }
      if (!intArg(a, parts[0], 0, 255, ratio, "gradient ratio") || !colorArg(a, parts[1], rgba, stop.color))
        return false;
      stop.ratio = static_cast<uint8_t>(ratio);
      f.stops.push_back(stop);
    }
    if (auto m = matrixArgs(a)) f.matrix = *m;
  } else if (kind == "bitmap") {
    if (!a.expect(2, 4, "fill bitmap ID [clipped] [nosmooth]")) return false;
    const bool clipped = a.flag("clipped");
    const bool noSmooth = a.flag("nosmooth");
    if (!a.expect(2, 2, "fill bitmap ID [clipped] [nosmooth]") || !u16Arg(a, 1, f.bitmapId, "bitmap id")) return false;
    f.type = static_cast<uint8_t>((clipped ? kFillBitmapClipped : kFillBitmapTiled) | (noSmooth ? kFillBitmapNoSmooth : 0));
    if (auto m = matrixArgs(a)) f.matrix = *m;
  } else {
    diag_.error(node.line, "unknown fill kind '" + kind + "'");
    return false;
  }
  a.finish();
  arrays.fills.push_back(f);
  return diag_.ok();
}

// Edges and style changes; coordinates are absolute and become deltas here.
bool Compiler::edgeLine(const Node& node, std::vector<ShapeRecord>& records, int32_t& x, int32_t& y, RECT* box,
                        bool& started) {
  Args a(node, diag_);
  auto grow = [&](int32_t px, int32_t py) {
    if (!box) return;
    if (!started) {
      *box = RECT{px, px, py, py};
      started = true;
    }
    box->xmin = std::min(box->xmin, px);
    box->xmax = std::max(box->xmax, px);
    box->ymin = std::min(box->ymin, py);
    box->ymax = std::max(box->ymax, py);
  };
  auto points = [&](size_t count, int32_t* out) {
    if (a.positionalCount() != 1) {
      diag_.error(node.line, "usage: " + node.head() + (count == 2 ? " X,Y" : " CX,CY,X,Y"));
      return false;
    }
    const std::vector<std::string> parts = splitList(a.positional(0));
    bool ok = parts.size() == count;
    for (size_t i = 0; ok && i < count; ++i) ok = parseTwips(parts[i], out[i]);
    if (!ok) diag_.error(node.line, "usage: " + node.head() + (count == 2 ? " X,Y" : " CX,CY,X,Y"));
    return ok;
  };
  const std::string& head = node.head();
  ShapeRecord r;
  if (head == "lineto") {
    int32_t p[2];
    if (!points(2, p)) return false;
    r.kind = ShapeRecord::Kind::Straight;
    r.dx = p[0] - x;
    r.dy = p[1] - y;
    x = p[0];
    y = p[1];
    grow(x, y);
  } else if (head == "curveto") {
    int32_t p[4];
    if (!points(4, p)) return false;
    r.kind = ShapeRecord::Kind::Curve;
    r.dx = p[0] - x;
    r.dy = p[1] - y;
    r.ax = p[2] - p[0];
    r.ay = p[3] - p[1];
    grow(p[0], p[1]);
    x = p[2];
    y = p[3];
    grow(x, y);
  } else {  // style
    if (a.flag("newstyles")) r.newStyles = StyleArrays{};
    if (!a.expect(0, 0, "style [moveto=X,Y] [fill0=N] [fill1=N] [line=N] [newstyles]")) return false;
    if (auto v = a.value("moveto")) {
      const std::vector<std::string> parts = splitList(*v);
      int32_t px, py;
      if (parts.size() != 2 || !parseTwips(parts[0], px) || !parseTwips(parts[1], py)) {
        diag_.error(node.line, "moveto=" + *v + ": expected X,Y");
        return false;
      }
      r.moveTo = std::make_pair(px, py);
      x = px;
      y = py;
      grow(x, y);
    }
    int64_t v;
    if (auto s = a.value("fill0")) {
      if (!intArg(a, *s, 0, 0xFFFF, v, "fill0")) return false;
      r.fill0 = static_cast<uint32_t>(v);
    }
    if (auto s = a.value("fill1")) {
      if (!intArg(a, *s, 0, 0xFFFF, v, "fill1")) return false;
      r.fill1 = static_cast<uint32_t>(v);
    }
    if (auto s = a.value("line")) {
      if (!intArg(a, *s, 0, 0xFFFF, v, "line")) return false;
      r.line = static_cast<uint32_t>(v);
    }
    if (!r.moveTo && !r.fill0 && !r.fill1 && !r.line && !r.newStyles) {
      diag_.error(node.line, "a style record needs at least one of moveto, fill0, fill1, line, newstyles");
      return false;
    }
  }
  a.finish();
  records.push_back(std::move(r));
  return diag_.ok();
}

bool Compiler::shape(const Node& node, int shapeVersion, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  uint16_t id;
  RECT bounds;
  if (!a.expect(1, 1, "shape ID [bounds=xmin,xmax,ymin,ymax] {") || !u16Arg(a, 0, id, "shape id")) return false;
  std::optional<RECT> given;
  if (auto v = a.value("bounds")) {
    // Re-parse through rectArg's format.
    Node tmp;
    tmp.line = node.line;
    tmp.words = {"x", "bounds=" + *v};
    Args b(tmp, diag_);
    if (!rectArg(b, "bounds", bounds, true)) return false;
    given = bounds;
  }
  a.finish();
  if (!node.hasBlock) {
    diag_.error(node.line, "a shape needs a block: end the line with '{'");
    return false;
  }
  const bool rgba = shapeVersion == 3;
  Shape s;
  StyleArrays* arrays = &s.styles;
  int32_t x = 0, y = 0;
  RECT box;
  bool started = false;
  uint16_t widest = 0;
  bool ok = true;
  for (const Node& child : node.children) {
    const std::string& head = child.head();
    if (head == "fill" || head == "line") {
      if (!arrays) {
        diag_.error(child.line, "styles go before the first edge, or after a 'style ... newstyles' record");
        ok = false;
        continue;
      }
      ok = styleLine(child, rgba, *arrays) && ok;
      if (!arrays->lines.empty()) widest = std::max(widest, arrays->lines.back().width);
    } else if (head == "style" || head == "lineto" || head == "curveto") {
      if (!edgeLine(child, s.records, x, y, &box, started)) {
        ok = false;
        continue;
      }
      ShapeRecord& r = s.records.back();
      arrays = r.newStyles ? &*r.newStyles : nullptr;
    } else {
      diag_.error(child.line, "unknown shape line '" + head + "'");
      ok = false;
    }
  }
  if (!ok) return false;
  if (!given) {
    const int32_t half = widest / 2;
    bounds = started ? RECT{box.xmin - half, box.xmax + half, box.ymin - half, box.ymax + half} : RECT{};
  }
  std::string error;
  body = defineShapeBody(id, bounds, s, rgba, error);
  if (!error.empty()) diag_.error(node.line, error);
  return error.empty();
}

bool Compiler::morph(const Node& node, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  uint16_t id;
  MorphShape m;
  if (!a.expect(1, 1, "morph ID startbounds=... endbounds=... {") || !u16Arg(a, 0, id, "morph id") ||
      !rectArg(a, "startbounds", m.startBounds, true) || !rectArg(a, "endbounds", m.endBounds, true))
    return false;
  a.finish();
  if (!node.hasBlock) {
    diag_.error(node.line, "a morph shape needs a block: end the line with '{'");
    return false;
  }
  std::vector<ShapeRecord>* edges = nullptr;
  int32_t x = 0, y = 0;
  bool started = false;
  bool ok = true;
  for (const Node& child : node.children) {
    const std::string& head = child.head();
    Args c(child, diag_);
    if (head == "startedges" || head == "endedges") {
      c.expect(0, 0, "startedges | endedges");
      edges = head == "startedges" ? &m.startEdges : &m.endEdges;
      x = y = 0;
    } else if (head == "style" || head == "lineto" || head == "curveto") {
      if (!edges) {
        diag_.error(child.line, "edges of a morph shape go after 'startedges' or 'endedges'");
        ok = false;
      } else if (edgeLine(child, *edges, x, y, nullptr, started) && edges->back().newStyles) {
        diag_.error(child.line, "morph shapes have no new style arrays");
        ok = false;
      }
      continue;  // edgeLine checked the words
    } else if (head == "line") {
      MorphLineStyle l;
      if (!c.expect(4, 4, "line STARTWIDTH ENDWIDTH STARTCOLOUR ENDCOLOUR") || !u16Arg(c, 0, l.startWidth, "width") ||
          !u16Arg(c, 1, l.endWidth, "width") || !colorArg(c, c.positional(2), true, l.startColor) ||
          !colorArg(c, c.positional(3), true, l.endColor)) {
        ok = false;
        continue;
      }
      m.lines.push_back(l);
    } else if (head == "fill") {
      MorphFillStyle f;
      if (c.positionalCount() < 1) {
        diag_.error(child.line, "usage: fill solid|linear|radial|bitmap ...");
        ok = false;
        continue;
      }
      const std::string kind = c.positional(0);
      if (kind == "solid") {
        if (!c.expect(3, 3, "fill solid STARTCOLOUR ENDCOLOUR") || !colorArg(c, c.positional(1), true, f.startColor) ||
            !colorArg(c, c.positional(2), true, f.endColor)) {
          ok = false;
          continue;
        }
      } else if (kind == "linear" || kind == "radial") {
        f.type = kind == "linear" ? kFillLinear : kFillRadial;
        for (size_t i = 1; i < c.positionalCount(); ++i) {
          const std::vector<std::string> ends = splitList(c.positional(i), '>');
          if (ends.size() != 2) {
            diag_.error(child.line, "morph gradient stop must be RATIO:COLOUR>RATIO:COLOUR");
            ok = false;
            break;
          }
          for (int e = 0; e < 2; ++e) {
            const std::vector<std::string> parts = splitList(ends[e], ':');
            int64_t ratio;
            GradientStop stop;
            if (parts.size() != 2 || !intArg(c, parts[0], 0, 255, ratio, "gradient ratio") ||
                !colorArg(c, parts[1], true, stop.color)) {
              if (parts.size() != 2) diag_.error(child.line, "gradient stop must be RATIO:COLOUR");
              ok = false;
              break;
            }
            stop.ratio = static_cast<uint8_t>(ratio);
            (e == 0 ? f.startStops : f.endStops).push_back(stop);
          }
        }
      } else if (kind == "bitmap") {
        const bool clipped = c.flag("clipped");
        const bool noSmooth = c.flag("nosmooth");
        if (!c.expect(2, 2, "fill bitmap ID [clipped] [nosmooth]") || !u16Arg(c, 1, f.bitmapId, "bitmap id")) {
          ok = false;
          continue;
        }
        f.type = static_cast<uint8_t>((clipped ? kFillBitmapClipped : kFillBitmapTiled) | (noSmooth ? kFillBitmapNoSmooth : 0));
      } else {
        diag_.error(child.line, "unknown fill kind '" + kind + "'");
        ok = false;
        continue;
      }
      if (auto mx = matrixArgs(c)) f.startMatrix = *mx;
      if (auto mx = matrixArgs(c, "end")) f.endMatrix = *mx;
      m.fills.push_back(f);
    } else {
      diag_.error(child.line, "unknown morph line '" + head + "'");
      ok = false;
      continue;
    }
    c.finish();
  }
  if (!ok || !diag_.ok()) return false;
  std::string error;
  body = defineMorphShapeBody(id, m, error);
  if (!error.empty()) diag_.error(node.line, error);
  return error.empty();
}

bool Compiler::button(const Node& node, bool second, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  uint16_t id;
  Button b;
  if (second) b.trackAsMenu = a.flag("menu");
  if (!a.expect(1, 1, second ? "button2 ID [menu] {" : "button ID {") || !u16Arg(a, 0, id, "button id")) return false;
  a.finish();
  if (!node.hasBlock) {
    diag_.error(node.line, "a button needs a block: end the line with '{'");
    return false;
  }
  bool ok = true;
  bool hadActions = false;
  for (const Node& child : node.children) {
    const std::string& head = child.head();
    Args c(child, diag_);
    if (head == "record") {
      ButtonRecord r;
      uint32_t states;
      if (!c.expect(3, 3, "record STATES ID DEPTH") || !namedBits(c, c.positional(0), kButtonStates, 0xFF, states, "state") ||
          !u16Arg(c, 1, r.characterId, "character id") || !u16Arg(c, 2, r.depth, "depth")) {
        ok = false;
        continue;
      }
      r.states = static_cast<uint8_t>(states);
      if (auto m = matrixArgs(c)) r.matrix = *m;
      if (second) {
        if (auto cx = cxformArgs(c, true)) r.cxform = *cx;
      }
      b.records.push_back(r);
    } else if (head == "actions" && !second) {
      if (hadActions) {
        diag_.error(child.line, "a button has one actions block");
        ok = false;
        continue;
      }
      hadActions = true;
      if (!c.expect(0, 0, "actions {") || !actions(child, b.actions)) ok = false;
    } else if (head == "on" && second) {
      ButtonCondAction cond;
      uint32_t bits = 0;
      if (!c.expect(0, 1, "on CONDITIONS [key=N] {") ||
          (c.positionalCount() == 1 && !namedBits(c, c.positional(0), kButtonConditions, 0x1FF, bits, "condition"))) {
        ok = false;
        continue;
      }
      int64_t key = 0;
      if (auto k = c.value("key"))
        if (!intArg(c, *k, 0, 127, key, "key")) {
          ok = false;
          continue;
        }
      cond.conditions = static_cast<uint16_t>(bits | (key << 9));
      if (!actions(child, cond.actions)) ok = false;
      b.conditions.push_back(std::move(cond));
    } else {
      diag_.error(child.line, "unknown " + std::string(second ? "button2" : "button") + " line '" + head + "'");
      ok = false;
      continue;
    }
    c.finish();
  }
  if (!ok || !diag_.ok()) return false;
  if (!second) {
    if (!hadActions) b.actions = {0};
    body = defineButtonBody(id, b);
    return true;
  }
  std::string error;
  body = defineButton2Body(id, b, error);
  if (!error.empty()) diag_.error(node.line, error);
  return error.empty();
}

bool Compiler::place2(const Node& node, std::vector<uint8_t>& body) {
  Args a(node, diag_);
  PlaceObject2 p;
  int64_t v;
  p.move = a.flag("move");
  if (!a.expect(1, 1, "place2 DEPTH [id=ID] [move] ...") || !u16Arg(a, 0, p.depth, "depth")) return false;
  if (auto s = a.value("id")) {
    if (!intArg(a, *s, 0, 0xFFFF, v, "id")) return false;
    p.characterId = static_cast<uint16_t>(v);
  }
  p.matrix = matrixArgs(a);
  p.cxform = cxformArgs(a, true);
  if (auto s = a.value("ratio")) {
    if (!intArg(a, *s, 0, 0xFFFF, v, "ratio")) return false;
    p.ratio = static_cast<uint16_t>(v);
  }
  if (auto s = a.value("name")) {
    std::string name;
    if (!stringArg(a, *s, name, "name")) return false;
    p.name = name;
  }
  if (auto s = a.value("clipdepth")) {
    if (!intArg(a, *s, 0, 0xFFFF, v, "clipdepth")) return false;
    p.clipDepth = static_cast<uint16_t>(v);
  }
  if (auto s = a.value("allevents")) {
    uint32_t bits;
    if (!namedBits(a, *s, kClipEvents, 0xFFFFFFFF, bits, "clip event")) return false;
    p.allEvents = bits;
  }
  a.finish();
  p.hasClipActions = node.hasBlock;
  bool ok = diag_.ok();
  for (const Node& child : node.children) {
    Args c(child, diag_);
    ClipActionRecord r;
    if (child.head() != "on" || !c.expect(1, 1, "on EVENTS [key=N] {") ||
        !namedBits(c, c.positional(0), kClipEvents, 0xFFFFFFFF, r.events, "clip event")) {
      if (child.head() != "on") diag_.error(child.line, "clip actions are written as 'on EVENTS {'");
      ok = false;
      continue;
    }
    if (auto k = c.value("key")) {
      if (!intArg(c, *k, 0, 255, v, "key")) {
        ok = false;
        continue;
      }
      if (!(r.events & kEventKeyPress)) diag_.error(child.line, "key= only goes with the keyPress event");
      r.keyCode = static_cast<uint8_t>(v);
    }
    c.finish();
    if (!actions(child, r.actions)) ok = false;
    p.clipActions.push_back(std::move(r));
  }
  if (!ok) return false;
  std::string error;
  body = placeObject2Body(p, version_, error);
  if (!error.empty()) diag_.error(node.line, error);
  return error.empty();
}

bool Compiler::tag(const Node& original, TagStream& out) {
  Node node = original;
  bool longForm = false;
  if (node.head() == "@long") {
    longForm = true;
    node.words.erase(node.words.begin());
    if (node.words.empty()) {
      diag_.error(node.line, "@long needs a tag directive after it");
      return false;
    }
  }
  const std::string& head = node.head();
  Args a(node, diag_);
  std::vector<uint8_t> body;
  ByteWriter w;
  uint16_t code = 0;
  const size_t errorsBefore = diag_.messages().size();
  auto blockNotAllowed = [&]() {
    if (node.hasBlock && head != "sprite") diag_.error(node.line, head + " takes no block");
  };
  if (head == "showframe" || head == "end") {
    a.expect(0, 0, head.c_str());
    code = head == "end" ? 0 : 1;
    blockNotAllowed();
  } else if (head == "background") {
    Rgba c;
    if (a.expect(1, 1, "background #rrggbb") && colorArg(a, a.positional(0), false, c)) writeRgb(w, c);
    code = static_cast<uint16_t>(TagCode::SetBackgroundColor);
    blockNotAllowed();
  } else if (head == "label") {
    std::string name;
    if (a.expect(1, 1, "label \"NAME\"") && stringArg(a, a.positional(0), name, "label")) w.string(name);
    code = static_cast<uint16_t>(TagCode::FrameLabel);
    blockNotAllowed();
  } else if (head == "place") {
    uint16_t id, depth;
    if (a.expect(2, 2, "place ID DEPTH [scale=..] [skew=..] [at=..] [mul=..] [add=..]") && u16Arg(a, 0, id, "id") &&
        u16Arg(a, 1, depth, "depth")) {
      const MATRIX m = matrixArgs(a).value_or(MATRIX{});
      std::optional<CXFORM> cx = cxformArgs(a, false);
      body = placeObjectBody(id, depth, m, cx ? &*cx : nullptr);
    }
    code = static_cast<uint16_t>(TagCode::PlaceObject);
    blockNotAllowed();
  } else if (head == "place2") {
    code = static_cast<uint16_t>(TagCode::PlaceObject2);
    if (!place2(node, body)) return false;
    out.tag(code, body, longForm);
    return true;
  } else if (head == "remove") {
    uint16_t id, depth;
    if (a.expect(2, 2, "remove ID DEPTH") && u16Arg(a, 0, id, "id") && u16Arg(a, 1, depth, "depth")) {
      w.u16(id);
      w.u16(depth);
    }
    code = static_cast<uint16_t>(TagCode::RemoveObject);
    blockNotAllowed();
  } else if (head == "remove2") {
    uint16_t depth;
    if (a.expect(1, 1, "remove2 DEPTH") && u16Arg(a, 0, depth, "depth")) w.u16(depth);
    code = static_cast<uint16_t>(TagCode::RemoveObject2);
    blockNotAllowed();
  } else if (head == "shape" || head == "shape2" || head == "shape3") {
    const int v = head == "shape" ? 1 : head[5] - '0';
    static constexpr TagCode kCodes[] = {TagCode::DefineShape, TagCode::DefineShape2, TagCode::DefineShape3};
    if (!shape(node, v, body)) return false;
    out.tag(kCodes[v - 1], body, longForm);
    return true;
  } else if (head == "morph") {
    if (!morph(node, body)) return false;
    out.tag(TagCode::DefineMorphShape, body, longForm);
    return true;
  } else if (head == "button" || head == "button2") {
    if (!button(node, head == "button2", body)) return false;
    out.tag(head == "button2" ? TagCode::DefineButton2 : TagCode::DefineButton, body, longForm);
    return true;
  } else if (head == "sprite") {
    uint16_t id;
    if (!a.expect(1, 1, "sprite ID [frames=N] {") || !u16Arg(a, 0, id, "sprite id")) return false;
    std::optional<uint16_t> frames;
    int64_t v;
    if (auto s = a.value("frames")) {
      if (!intArg(a, *s, 0, 0xFFFF, v, "frames")) return false;
      frames = static_cast<uint16_t>(v);
    }
    a.finish();
    if (!node.hasBlock) {
      diag_.error(node.line, "a sprite needs a block of tags: end the line with '{'");
      return false;
    }
    TagStream inner;
    if (!tags(node.children, inner)) return false;
    w.u16(id);
    w.u16(frames.value_or(inner.frames()));
    w.bytes(inner.bytes());
    if (!inner.endsWithEnd()) w.u16(0);
    out.tag(TagCode::DefineSprite, w.take(), longForm);
    return true;
  } else if (head == "actions") {
    code = static_cast<uint16_t>(TagCode::DoAction);
    if (!a.expect(0, 0, "actions {") || !actions(node, body)) return false;
  } else if (head == "initactions") {
    uint16_t id;
    code = static_cast<uint16_t>(TagCode::DoInitAction);
    std::vector<uint8_t> code_;
    if (!a.expect(1, 1, "initactions SPRITEID {") || !u16Arg(a, 0, id, "sprite id") || !actions(node, code_))
      return false;
    w.u16(id);
    w.bytes(code_);
  } else if (head == "export") {
    AssetList list;
    if (assets(a, 0, list)) body = assetsBody(list);
    code = static_cast<uint16_t>(TagCode::ExportAssets);
    blockNotAllowed();
  } else if (head == "import") {
    AssetList list;
    std::string url;
    if (a.positionalCount() >= 1 && stringArg(a, a.positional(0), url, "url") && assets(a, 1, list)) {
      w.string(url);
      w.bytes(assetsBody(list));
    } else if (a.positionalCount() == 0) {
      diag_.error(node.line, "usage: import \"URL\" ID \"NAME\" ...");
    }
    code = static_cast<uint16_t>(TagCode::ImportAssets);
    blockNotAllowed();
  } else if (head == "lossless" || head == "lossless2" || head == "jpeg" || head == "jpegtables" ||
             head == "bits" || head == "jpeg3") {
    if (!bitmap(node, a, code, body)) return false;
    blockNotAllowed();
  } else if (head == "font" || head == "font1") {
    if (!font(node, head == "font", body)) return false;
    out.tag(head == "font" ? TagCode::DefineFont2 : TagCode::DefineFont, body, longForm);
    return true;
  } else if (head == "fontinfo" || head == "fontinfo2") {
    blockNotAllowed();
    if (!fontInfo(node, head == "fontinfo2", body)) return false;
    out.tag(head == "fontinfo2" ? TagCode::DefineFontInfo2 : TagCode::DefineFontInfo, body, longForm);
    return true;
  } else if (head == "text" || head == "text2") {
    if (!text(node, head == "text2", body)) return false;
    out.tag(head == "text2" ? TagCode::DefineText2 : TagCode::DefineText, body, longForm);
    return true;
  } else if (head == "sound") {
    if (!sound(node, a, body)) return false;
    code = static_cast<uint16_t>(TagCode::DefineSound);
    blockNotAllowed();
  } else if (head == "startsound") {
    uint16_t id;
    kit::SoundInfoRecord info;
    if (!soundInfo(a, info) ||
        !a.expect(1, 1, "startsound ID [in=N] [out=N] [loops=N] [envelope=POS:L:R,...] [nomultiple] [stop]") ||
        !u16Arg(a, 0, id, "sound id"))
      return false;
    body = kit::startSoundBody(id, info);
    code = static_cast<uint16_t>(TagCode::StartSound);
    blockNotAllowed();
  } else if (head == "buttonsound") {
    // Entries: roll out (to idle), roll over, press, release; 0 for none.
    uint16_t ids[5];
    if (!a.expect(5, 5, "buttonsound BUTTONID OUT OVER PRESS RELEASE (sound ids, 0 for none)")) return false;
    for (size_t i = 0; i < 5; ++i)
      if (!u16Arg(a, i, ids[i], "id")) return false;
    w.u16(ids[0]);
    for (size_t i = 1; i < 5; ++i) {
      w.u16(ids[i]);
      if (ids[i]) w.u8(0);
    }
    code = static_cast<uint16_t>(TagCode::DefineButtonSound);
    blockNotAllowed();
  } else if (head == "edittext") {
    blockNotAllowed();
    if (!editText(a, body)) return false;
    code = static_cast<uint16_t>(TagCode::DefineEditText);
  } else if (head == "streamhead") {
    if (!streamHead(node, a, body)) return false;
    code = static_cast<uint16_t>(TagCode::SoundStreamHead);
    blockNotAllowed();
  } else if (head == "streamblock") {
    if (auto data = a.value("data")) {
      if (!parseHexWords({*data}, 0, body)) diag_.error(node.line, "data= must be hex bytes");
    } else if (!streamBlock(node, body)) {
      return false;
    }
    a.expect(0, 0, "streamblock [data=HEX]");
    code = static_cast<uint16_t>(TagCode::SoundStreamBlock);
    // Stream blocks are found by their 6-byte header.
    longForm = true;
    blockNotAllowed();
  } else if (head == "raw") {
    int64_t c;
    if (node.words.size() < 2 || !parseInt(node.words[1], c) || c < 0 || c > 0x3FF) {
      diag_.error(node.line, "usage: raw CODE [HEX...] with CODE in 0..1023");
      return false;
    }
    if (!parseHexWords(node.words, 2, body)) {
      diag_.error(node.line, "raw: the body must be hex bytes");
      return false;
    }
    blockNotAllowed();
    if (diag_.messages().size() != errorsBefore) return false;
    out.tag(static_cast<uint16_t>(c), body, longForm);
    return true;
  } else {
    diag_.error(node.line, "unknown directive '" + head + "'");
    return false;
  }
  a.finish();
  if (!w.error().empty()) diag_.error(node.line, w.error());
  if (diag_.messages().size() != errorsBefore) return false;
  if (w.size()) body = w.take();
  out.tag(code, body, longForm);
  return true;
}

bool Compiler::tags(const std::vector<Node>& nodes, TagStream& out) {
  bool ok = true;
  for (const Node& node : nodes) ok = tag(node, out) && ok;
  if (!out.error().empty()) {
    diag_.error(nodes.empty() ? 0 : nodes.back().line, out.error());
    ok = false;
  }
  return ok;
}

}  // namespace

bool compileTags(const std::vector<Node>& nodes, int version, TagStream& out, Diagnostics& diag,
                 const std::string& baseDir, double frameRate) {
  Compiler c(version, diag, baseDir, frameRate);
  return c.tags(nodes, out) && diag.ok();
}

bool compileMovie(const std::string& text, std::vector<uint8_t>& out, Diagnostics& diag, const std::string& baseDir) {
  std::vector<Node> nodes;
  if (!parseNodes(text, nodes, diag)) return false;
  if (nodes.empty() || nodes.front().head() != "movie") {
    diag.error(nodes.empty() ? 1 : nodes.front().line, "the source must start with a 'movie' header line");
    return false;
  }
  const Node& headerNode = nodes.front();
  Args a(headerNode, diag);
  MovieHeader h;
  int64_t v;
  h.compressed = a.flag("compressed");
  if (auto s = a.value("version"))
    if (intArg(a, *s, 0, 255, v, "version")) h.version = static_cast<uint8_t>(v);
  if (auto s = a.value("rect")) {
    const std::vector<std::string> parts = splitList(*s);
    int32_t r[4];
    bool ok = parts.size() == 4;
    for (size_t i = 0; ok && i < 4; ++i) ok = parseTwips(parts[i], r[i]);
    if (ok) h.frame = RECT{r[0], r[1], r[2], r[3]};
    else diag.error(headerNode.line, "rect=" + *s + ": expected xmin,xmax,ymin,ymax");
  }
  if (auto s = a.value("size")) {
    const std::vector<std::string> parts = splitList(*s, 'x');
    int64_t wpx, hpx;
    if (parts.size() == 2 && parseInt(parts[0], wpx) && parseInt(parts[1], hpx) && wpx >= 0 && hpx >= 0 &&
        wpx < 100000 && hpx < 100000)
      h.frame = RECT{0, static_cast<int32_t>(wpx * 20), 0, static_cast<int32_t>(hpx * 20)};
    else
      diag.error(headerNode.line, "size=" + *s + ": expected WIDTHxHEIGHT in pixels");
  }
  if (auto s = a.value("rate")) {
    double rate;
    if (parseDouble(*s, rate) && rate >= 0 && rate < 256) h.frameRate = static_cast<uint16_t>(std::lround(rate * 256));
    else diag.error(headerNode.line, "rate=" + *s + ": expected frames per second below 256");
  }
  if (auto s = a.value("frames"))
    if (intArg(a, *s, 0, 0xFFFF, v, "frames")) h.frameCount = static_cast<uint16_t>(v);
  a.expect(0, 0, "movie [version=N] [size=WxH | rect=xmin,xmax,ymin,ymax] [rate=FPS] [frames=N] [compressed]");
  a.finish();
  if (!diag.ok()) return false;
  TagStream tags;
  std::vector<Node> body(nodes.begin() + 1, nodes.end());
  if (!body.empty() && body.back().head() == "trailing") {
    std::vector<uint8_t> bytes;
    if (!parseHexWords(body.back().words, 1, bytes)) {
      diag.error(body.back().line, "trailing: expected hex bytes");
      return false;
    }
    h.trailing = std::move(bytes);
    body.pop_back();
  }
  if (!compileTags(body, h.version, tags, diag, baseDir, h.frameRate / 256.0)) return false;
  std::string error;
  if (!writeMovie(h, tags, out, error)) {
    diag.error(headerNode.line, error);
    return false;
  }
  return true;
}

}  // namespace kivra::qvxs
