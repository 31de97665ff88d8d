#pragma once
// Shared objects as files below $XDG_DATA_HOME/kivra-player (by default
// ~/.local/share/kivra-player). A write goes to a temporary file of its own
// in the same folder, is synced, and is renamed over the old file: a crash
// or a full disk leaves the old file, and two players writing the same
// object leave one complete file or the other.
#include <sys/types.h>

#include <string>

#include "core/host/SharedObjectStorage.h"

namespace kivra {

class SharedObjectFiles : public SharedObjectStorage {
 public:
  // The root from the environment; none (every read misses, every write
  // fails) when neither XDG_DATA_HOME nor HOME is an absolute path.
  SharedObjectFiles();
  // A given root (tests).
  explicit SharedObjectFiles(std::string root) : root_(std::move(root)) {}

  const std::string& root() const { return root_; }

  size_t rootLength() override { return root_.size(); }
  StoredFile readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) override;
  bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
  bool removeFile(const std::string& path) override;
  uint64_t folderSize(const std::string& folder) override;
  void listFiles(const std::string& folder, std::vector<std::string>& names) override;
  void removeStoredObjects(const std::string& folder) override;

 protected:
  // One write(2) of the temporary file; tests fail it part-way.
  virtual ssize_t writeSome(int fd, const uint8_t* data, size_t count);

 private:
  // root/path, or "" when the path may not be used.
  std::string fullPath(const std::string& path) const;

  std::string root_;
};

}  // namespace kivra
