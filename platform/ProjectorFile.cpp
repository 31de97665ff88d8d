#include "platform/ProjectorFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/MovieFile.h"

namespace kivra {

namespace {
uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void putLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

bool writeAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

enum class CopyResult { Done, ReadFailed, EndedEarly, WriteFailed };

CopyResult copyFile(int from, int to, uint64_t count) {
  uint8_t buf[65536];
  while (count > 0) {
    const size_t want = count < sizeof buf ? static_cast<size_t>(count) : sizeof buf;
    const ssize_t r = ::read(from, buf, want);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return CopyResult::ReadFailed;
    if (r == 0) return CopyResult::EndedEarly;
    if (!writeAll(to, buf, static_cast<size_t>(r))) return CopyResult::WriteFailed;
    count -= static_cast<uint64_t>(r);
  }
  return CopyResult::Done;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new file beside `target`, so that renaming it over `target`
// stays on one filesystem. Its mode is that of an executable, less the umask.
int createTemporaryBeside(const std::string& target, std::string& name) {
  const size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  const std::string prefix = directoryOf(target) + "/." + base + ".part-" + std::to_string(::getpid()) + "-";
  const uint64_t stamp = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (uint64_t attempt = 0; attempt < 100; ++attempt) {
    name = prefix + std::to_string((stamp + attempt) % 1000000);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the rename itself durable; a failure here loses nothing.
void syncDirectoryOf(const std::string& path) {
  const int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool readProjectorTrailer(const std::string& path, ProjectorTrailer& out) {
  out = ProjectorTrailer{};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  out.fileSize = static_cast<uint64_t>(st.st_size);
  uint8_t tail[8];
  if (out.fileSize >= 8 && ::pread(fd, tail, 8, static_cast<off_t>(out.fileSize - 8)) == 8 &&
      readLe32(tail) == kProjectorMagic) {
    out.found = true;
    out.movieLength = readLe32(tail + 4);
  }
  ::close(fd);
  return true;
}

std::string projectorTargetRefusal(const std::string& executable, const std::string& target,
                                   const std::string& moviePath) {
  // stat() follows links, and a hard link shares the inode: every name of
  // the same file compares equal. A target that does not exist yet is safe.
  struct stat out {};
  if (::stat(target.c_str(), &out) != 0) return {};
  const auto sameFile = [&out](const std::string& path) {
    struct stat other {};
    return !path.empty() && ::stat(path.c_str(), &other) == 0 && other.st_dev == out.st_dev &&
           other.st_ino == out.st_ino;
  };
  if (sameFile(moviePath)) return "refusing to overwrite " + target + ": it is the movie being embedded";
  if (sameFile(executable)) return "refusing to overwrite " + target + ": it is the running player";
  return {};
}

bool writeProjector(const std::string& executable, const std::string& target, const uint8_t* movie,
                    size_t movieLength, std::string& error, const std::string& moviePath) {
  if (movieLength > UINT32_MAX) {
    error = "movie too large for a projector";
    return false;
  }
  error = projectorTargetRefusal(executable, target, moviePath);
  if (!error.empty()) return false;
  ProjectorTrailer trailer;
  if (!readProjectorTrailer(executable, trailer)) {
    error = cannotText("read", executable);
    return false;
  }
  // An executable that already carries a movie keeps only the player part.
  const uint64_t playerSize = trailer.movieInFile() ? trailer.movieOffset() : trailer.fileSize;

  const int from = ::open(executable.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) {
    error = cannotText("read", executable);
    return false;
  }
  std::string temporary;
  const int to = createTemporaryBeside(target, temporary);
  if (to < 0) {
    error = cannotText("write", target);
    ::close(from);
    return false;
  }
  uint8_t tail[8];
  putLe32(tail, kProjectorMagic);
  putLe32(tail + 4, static_cast<uint32_t>(movieLength));
  const CopyResult copied = copyFile(from, to, playerSize);
  bool ok = copied == CopyResult::Done;
  if (copied == CopyResult::ReadFailed) error = cannotText("read", executable);
  if (copied == CopyResult::EndedEarly) error = "cannot read " + executable + ": it ended early";
  if (copied == CopyResult::WriteFailed) error = cannotText("write", target);
  // The data must be on disk before the name points at it, and close()
  // can report a delayed write error.
  if (ok && !(writeAll(to, movie, movieLength) && writeAll(to, tail, sizeof tail) && ::fsync(to) == 0)) {
    error = cannotText("write", target);
    ok = false;
  }
  ::close(from);
  if (::close(to) != 0 && ok) {
    error = cannotText("write", target);
    ok = false;
  }
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
    error = cannotText("write", target);
    ok = false;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  syncDirectoryOf(target);
  return true;
}

}  // namespace kivra
