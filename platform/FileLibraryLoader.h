#pragma once
// Library movies for ImportAssets from local files: a URL is a path (or a
// file: URL) resolved against the importing movie's directory, read at once
// and fed to the library in 1,024-byte chunks.
#include <string>

#include "core/host/LibraryLoader.h"

namespace kivra {

class FileLibraryLoader : public LibraryLoader {
 public:
  std::string resolve(const std::string& base, const std::string& url) override;
  void load(const std::string& resolvedUrl, TimelinePlayer& library) override;
};

}  // namespace kivra
