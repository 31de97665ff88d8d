#include "platform/UrlLibraryLoader.h"

#include "core/format/CaseInsensitive.h"
#include "core/movie/TimelinePlayer.h"
#include "core/net/UrlRecord.h"
#include "platform/MovieFile.h"

namespace kivra {

namespace {
std::string withoutFileScheme(const std::string& url) {
  return startsWithIgnoringCase(url, "file://") ? url.substr(7) : url;
}
}  // namespace

// A library on its way from a server. A failed one feeds nothing more; its
// importers wait, as for a missing file.
class UrlLibraryLoader::Stream : public UrlStreamReceiver {
 public:
  explicit Stream(TimelinePlayer& library) : library_(library) {}
  void streamData(const uint8_t* data, size_t count) override {
    if (library_.movie().failed()) return;
    library_.countBytesLoaded(static_cast<int64_t>(count));
    library_.feed(data, count);
  }
  void streamEnded(bool ok) override {
    (void)ok;
    ended = true;
  }
  uint32_t id = 0;
  bool ended = false;

 private:
  TimelinePlayer& library_;
};

UrlLibraryLoader::UrlLibraryLoader(UrlStreams& streams) : streams_(streams) {}

UrlLibraryLoader::~UrlLibraryLoader() { cancelAll(); }

std::string UrlLibraryLoader::resolve(const std::string& base, const std::string& url) {
  if (isNetworkUrl(url) || (isNetworkUrl(base) && !startsWithIgnoringCase(url, "file:")))
    return resolveUrl(base, url, true);
  const std::string path = withoutFileScheme(url);
  if (path.empty() || path[0] == '/') return path;
  const std::string from = withoutFileScheme(base);
  const size_t slash = from.find_last_of('/');
  if (slash == std::string::npos) return path;
  return from.substr(0, slash + 1) + path;
}

void UrlLibraryLoader::load(const std::string& resolvedUrl, TimelinePlayer& library) {
  if (isNetworkUrl(resolvedUrl)) {
    std::erase_if(loads_, [](const auto& l) { return l->ended; });
    auto stream = std::make_unique<Stream>(library);
    UrlStreamRequest request;
    request.url = resolvedUrl;
    stream->id = streams_.openStream(request, *stream);
    if (stream->id != 0) loads_.push_back(std::move(stream));
    return;
  }
  // A file that cannot be read feeds nothing more; the importer keeps waiting.
  const auto feed = [&library](const uint8_t* data, size_t n) {
    library.countBytesLoaded(static_cast<int64_t>(n));
    library.feed(data, n);
    return !library.movie().failed();
  };
  uint64_t bytesRead = 0;
  std::string error;
  // Unreadable or short: the import waits for a movie that never comes,
  // which is how a missing library behaves.
  (void)readFileChunks(resolvedUrl, feed, bytesRead, error);
}

void UrlLibraryLoader::cancelAll() {
  for (const auto& l : loads_)
    if (!l->ended) streams_.cancelStream(l->id);
  loads_.clear();
}

}  // namespace kivra
