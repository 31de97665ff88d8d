#include "platform/FileLibraryLoader.h"

#include <cstdio>

#include "core/format/CaseInsensitive.h"
#include "core/movie/TimelinePlayer.h"

namespace kivra {

namespace {
constexpr size_t kChunkSize = 1024;

std::string withoutFileScheme(const std::string& url) {
  const std::string scheme = "file://";
  if (url.size() >= scheme.size() && equalsIgnoringCase(std::string_view(url).substr(0, scheme.size()), scheme))
    return url.substr(scheme.size());
  return url;
}
}  // namespace

std::string FileLibraryLoader::resolve(const std::string& base, const std::string& url) {
  const std::string path = withoutFileScheme(url);
  if (path.empty() || path[0] == '/') return path;
  const std::string from = withoutFileScheme(base);
  const size_t slash = from.find_last_of('/');
  if (slash == std::string::npos) return path;
  return from.substr(0, slash + 1) + path;
}

void FileLibraryLoader::load(const std::string& resolvedUrl, TimelinePlayer& library) {
  FILE* f = std::fopen(resolvedUrl.c_str(), "rb");
  if (!f) return;  // nothing arrives; the importer keeps waiting
  unsigned char chunk[kChunkSize];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    library.feed(chunk, n);
    if (library.movie().failed()) break;
  }
  std::fclose(f);
}

}  // namespace kivra
