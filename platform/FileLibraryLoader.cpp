#include "platform/FileLibraryLoader.h"

#include "core/format/CaseInsensitive.h"
#include "core/movie/TimelinePlayer.h"
#include "platform/MovieFile.h"

namespace kivra {

namespace {
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
  // A file that cannot be read feeds nothing more; the importer keeps waiting.
  const auto feed = [&library](const uint8_t* data, size_t n) {
    library.feed(data, n);
    return !library.movie().failed();
  };
  uint64_t bytesRead = 0;
  std::string error;
  // Unreadable or short: the import waits for a movie that never comes,
  // which is how a missing library behaves.
  (void)readFileChunks(resolvedUrl, feed, bytesRead, error);
}

}  // namespace kivra
