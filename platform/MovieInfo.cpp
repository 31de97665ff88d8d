#include "platform/MovieInfo.h"

#include "core/format/MovieBuffer.h"
#include "core/format/TagCodes.h"
#include "core/format/TagCursor.h"
#include "platform/MovieFile.h"

namespace kivra {

namespace {
// Walks a tag stream from `pos` to `end`, printing one line per tag; sprite
// bodies are walked too, indented. Returns false on a corrupt tag.
bool printTags(FILE* out, FILE* err, const std::string& path, const uint8_t* data, int64_t pos,
               int64_t end, int depth) {
  TagCursor cursor(data, end);
  cursor.setSizeLimit(end);
  cursor.setPosition(pos);
  TagHeader tag;
  for (;;) {
    const TagRead r = cursor.readTagHeader(tag);
    if (r == TagRead::Incomplete) {
      if (cursor.position() < end)
        std::fprintf(err, "kivra-player: %s: tag at offset %lld is cut off\n", path.c_str(),
                     static_cast<long long>(cursor.position()));
      return true;
    }
    if (r == TagRead::PastEnd) {
      std::fprintf(err, "kivra-player: %s: corrupt tag at offset %lld (its length runs past the end)\n",
                   path.c_str(), static_cast<long long>(cursor.position()));
      return false;
    }
    const char* name = tagName(tag.code);
    std::fprintf(out, "%*stag %lld %u %s %u%s\n", depth * 2, "", static_cast<long long>(tag.start),
                 tag.code, name ? name : "Unknown", tag.length, tag.longForm ? " long" : "");
    if (tag.code == static_cast<uint16_t>(TagCode::DefineSprite) && tag.length >= 4) {
      if (!printTags(out, err, path, data, tag.bodyStart + 4, tag.end, depth + 1)) return false;
    }
    cursor.setPosition(tag.end);
    if (tag.code == static_cast<uint16_t>(TagCode::End)) return true;
  }
}
}  // namespace

int printMovieInfo(const std::string& path, FILE* out, FILE* err) {
  MovieBuffer movie;
  std::string error;
  if (!readMovieFile(path, movie, error)) {
    std::fprintf(err, "kivra-player: %s\n", error.c_str());
    return 1;
  }
  const RECT& r = movie.frameRect();
  std::fprintf(out, "magic %s\n", movie.compressed() ? "ZVQ" : "XVQ");
  std::fprintf(out, "version %d\n", movie.version());
  std::fprintf(out, "file-length %lld\n", static_cast<long long>(movie.fileLength()));
  std::fprintf(out, "received %lld\n", static_cast<long long>(movie.received()));
  std::fprintf(out, "frame-rect %d %d %d %d\n", r.xmin, r.xmax, r.ymin, r.ymax);
  std::fprintf(out, "frame-rate %u.%02u 0x%04X\n", movie.frameRate() >> 8,
               (movie.frameRate() & 0xFF) * 100 / 256, movie.frameRate());
  std::fprintf(out, "frame-count %u\n", movie.frameCount());
  std::fprintf(out, "frame-period-ms %u\n", movie.framePeriodMs());
  const bool ok = printTags(out, err, path, movie.data(), movie.firstTagPosition(), movie.received(), 0);
  const std::string incomplete = incompleteMovieText(movie);
  if (ok && !incomplete.empty())
    std::fprintf(err, "kivra-player: %s: %s\n", path.c_str(), incomplete.c_str());
  return ok ? 0 : 1;
}

}  // namespace kivra
