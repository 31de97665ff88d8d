#pragma once
// Where local shared objects are kept: files below one root folder that the
// host chooses. Paths are relative to that root, "/"-separated, and every
// name in them is non-empty, neither "." nor ".." and free of control
// bytes; the host refuses any other path, so that nothing outside the root
// is ever read or written. Called on the player's thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivra {

enum class StoredFile : uint8_t {
  Read,
  Missing,
  Unreadable,  // there, but it could not be read whole (or it is too big)
};

class SharedObjectStorage {
 public:
  virtual ~SharedObjectStorage() = default;
  // The length of the root's full path (long paths are hashed by it).
  virtual size_t rootLength() = 0;
  // The whole file, when it holds at most `maxBytes` bytes.
  virtual StoredFile readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) = 0;
  // Replaces the file with `bytes` as one step, creating its folders: a
  // reader sees the old file or the new one, never a part, whatever fails
  // or whoever else writes it. False leaves the old file as it was.
  [[nodiscard]] virtual bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) = 0;
  // True when the file is gone (or never was).
  virtual bool removeFile(const std::string& path) = 0;
  // Bytes of the stored objects (".sol" files) in the folder and below it.
  virtual uint64_t folderSize(const std::string& folder) = 0;
  // Names of the files in the folder itself.
  virtual void listFiles(const std::string& folder, std::vector<std::string>& names) = 0;
  // Deletes the stored objects (".sol" files) in the folder and below it.
  virtual void removeStoredObjects(const std::string& folder) = 0;
};

// Keeps nothing: every object starts empty and no write succeeds.
class NullSharedObjectStorage : public SharedObjectStorage {
 public:
  size_t rootLength() override { return 0; }
  StoredFile readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) override {
    (void)path, (void)maxBytes, (void)out;
    return StoredFile::Missing;
  }
  bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
    (void)path, (void)bytes;
    return false;
  }
  bool removeFile(const std::string& path) override {
    (void)path;
    return true;
  }
  uint64_t folderSize(const std::string& folder) override {
    (void)folder;
    return 0;
  }
  void listFiles(const std::string& folder, std::vector<std::string>& names) override { (void)folder, (void)names; }
  void removeStoredObjects(const std::string& folder) override { (void)folder; }
};

}  // namespace kivra
