#include "platform/SharedObjectFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace kivra {

namespace {

bool nameAllowed(std::string_view s) {
  if (s.empty() || s == "." || s == "..") return false;
  for (unsigned char c : s)
    if (c < 0x20) return false;
  return true;
}

bool pathAllowed(const std::string& path) {
  size_t i = 0;
  while (i <= path.size()) {
    size_t end = path.find('/', i);
    if (end == std::string::npos) end = path.size();
    if (!nameAllowed(std::string_view(path).substr(i, end - i))) return false;
    i = end + 1;
  }
  return true;
}

// Makes every folder of `path` below `root` (the root too).
bool makeFolders(const std::string& root, const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
  std::string at = root;
  size_t i = 0;
  for (size_t end; (end = path.find('/', i)) != std::string::npos; i = end + 1) {
    at += "/" + path.substr(i, end - i);
    if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool storedObjectName(const std::string& name) {
  return name.size() > 4 && (name.ends_with(".sol") || name.ends_with(".sor"));
}

}  // namespace

SharedObjectFiles::SharedObjectFiles() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') {
    root_ = std::string(data) + "/kivra-player";
    return;
  }
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') root_ = std::string(home) + "/.local/share/kivra-player";
}

std::string SharedObjectFiles::fullPath(const std::string& path) const {
  if (root_.empty() || !pathAllowed(path)) return {};
  return root_ + "/" + path;
}

StoredFile SharedObjectFiles::readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& out) {
  out.clear();
  const std::string full = fullPath(path);
  if (full.empty()) return StoredFile::Missing;
  // Not blocking: a FIFO in the folder must not hang the player.
  const int fd = ::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? StoredFile::Missing : StoredFile::Unreadable;
  struct stat st;
  StoredFile result = StoredFile::Unreadable;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= maxBytes) {
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
      const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    // Another writer renames a whole file into place; a short read here is
    // a file that shrank under us: not read whole.
    if (got == out.size()) result = StoredFile::Read;
  }
  ::close(fd);
  if (result != StoredFile::Read) out.clear();
  return result;
}

ssize_t SharedObjectFiles::writeSome(int fd, const uint8_t* data, size_t count) { return ::write(fd, data, count); }

bool SharedObjectFiles::writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string full = fullPath(path);
  if (full.empty() || !makeFolders(root_, path)) return false;
  // A temporary name of this writer's own: two players writing the same
  // object never write into one file. It does not end in ".sol", so a
  // leftover from a crash is never read or counted.
  std::string temp = full + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = writeSome(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == bytes.size() && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  // Rename replaces the old file in one step: there is no moment without one.
  if (ok) ok = ::rename(temp.c_str(), full.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  syncFolder(full.substr(0, full.rfind('/')));
  return true;
}

bool SharedObjectFiles::removeFile(const std::string& path) {
  const std::string full = fullPath(path);
  if (full.empty()) return false;
  if (::unlink(full.c_str()) != 0) return errno == ENOENT || errno == ENOTDIR;
  syncFolder(full.substr(0, full.rfind('/')));
  return true;
}

uint64_t SharedObjectFiles::folderSize(const std::string& folder) {
  const std::string full = fullPath(folder);
  if (full.empty()) return 0;
  uint64_t total = 0;
  std::error_code ec;
  std::filesystem::recursive_directory_iterator it(full, std::filesystem::directory_options::none, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) || !storedObjectName(it->path().filename().string())) continue;
    const uint64_t size = it->file_size(ec);
    if (!ec) total += size;
    ec.clear();
  }
  return total;
}

void SharedObjectFiles::removeStoredObjects(const std::string& folder) {
  const std::string full = fullPath(folder);
  if (full.empty()) return;
  // Gathered first: removing while iterating would upset the iterator.
  std::vector<std::filesystem::path> gone;
  std::error_code ec;
  std::filesystem::recursive_directory_iterator it(full, std::filesystem::directory_options::none, ec), end;
  for (; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec) && storedObjectName(it->path().filename().string())) gone.push_back(it->path());
  for (const auto& path : gone) std::filesystem::remove(path, ec);
  syncFolder(full);
}

void SharedObjectFiles::listFiles(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  const std::string full = fullPath(folder);
  if (full.empty()) return;
  std::error_code ec;
  std::filesystem::directory_iterator it(full, ec), end;
  for (; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) names.push_back(it->path().filename().string());
}

}  // namespace kivra
