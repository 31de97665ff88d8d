#pragma once
// Library movies for ImportAssets. The URL is resolved against the
// importing movie's: a local path against its folder, a network URL as URLs
// are. Local files are read at once and fed to the library in 1,024-byte
// chunks; http, https and ftp libraries are fetched as URL streams and fed
// as they come.
#include <memory>
#include <string>
#include <vector>

#include "core/host/LibraryLoader.h"
#include "core/host/UrlStreams.h"

namespace kivra {

class UrlLibraryLoader : public LibraryLoader {
 public:
  // Network libraries come through `streams` (not owned; it must outlive
  // the loads).
  explicit UrlLibraryLoader(UrlStreams& streams);
  ~UrlLibraryLoader() override;
  UrlLibraryLoader(const UrlLibraryLoader&) = delete;
  UrlLibraryLoader& operator=(const UrlLibraryLoader&) = delete;

  std::string resolve(const std::string& base, const std::string& url) override;
  void load(const std::string& resolvedUrl, TimelinePlayer& library) override;
  void cancelAll() override;

 private:
  class Stream;
  UrlStreams& streams_;
  std::vector<std::unique_ptr<Stream>> loads_;
};

}  // namespace kivra
