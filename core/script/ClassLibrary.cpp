#include "core/script/ClassLibrary.h"

#include <cstdio>

#include "core/script/PlayerServices.h"
#include "core/format/MovieBuffer.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "core/script/ScriptEngine.h"

namespace kivra {

extern const uint8_t kClassLibraryMovie[];
extern const size_t kClassLibraryMovieSize;

bool runClassLibrary(ScriptEngine& engine) {
  MovieBuffer movie;
  (void)movie.feed(kClassLibraryMovie, kClassLibraryMovieSize);
  if (!movie.complete() || movie.failed()) return false;
  // One frame: the actions of every DoAction tag, in order.
  TagCursor c(movie.data(), movie.received(), movie.version());
  c.setSizeLimit(movie.fileLength());
  c.setPosition(movie.firstTagPosition());
  TagHeader tag;
  while (c.readTagHeader(tag) == TagRead::Tag && tag.code != static_cast<uint16_t>(TagCode::End)) {
    if (tag.code == static_cast<uint16_t>(TagCode::DoAction))
      engine.runOnGlobal(movie.data() + tag.bodyStart, tag.length, movie.version());
    c.setPosition(tag.end);
  }
  return true;
}

std::string capabilitiesString(ScriptEngine& engine) {
  const HostInfo host = engine.player().hostInfo();
  auto b = [](int v) { return v ? "t" : "f"; };
  char text[512];
  std::snprintf(text, sizeof text,
                "A=%s&SA=%s&SV=%s&EV=%s&MP3=%s&AE=%s&VE=%s&ACC=%s&PR=%s&DEB=%s&V=%s%s%d%s%d%s%d%s%d"
                "&M=%s&R=%dx%d&DP=%d&COL=%s&AR=%s&I=%s&OS=%s&L=%s",
                b(1), b(1), b(1), b(1), b(1), b(1), b(1), b(0), b(1), b(0), "WIN", "%20", 6, "%2C", 0, "%2C", 95,
                "%2C", 0, host.manufacturer.c_str(), host.screenWidth, host.screenHeight, 72, "color", "1.0",
                "point", host.osName.c_str(), host.language.c_str());
  return text;
}

}  // namespace kivra
