#include "platform/ProjectorFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

bool copyFile(int from, int to, uint64_t count) {
  uint8_t buf[65536];
  while (count > 0) {
    const size_t want = count < sizeof buf ? static_cast<size_t>(count) : sizeof buf;
    const ssize_t r = ::read(from, buf, want);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (!writeAll(to, buf, static_cast<size_t>(r))) return false;
    count -= static_cast<uint64_t>(r);
  }
  return true;
}

std::string reason(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
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

bool writeProjector(const std::string& executable, const std::string& target,
                    const uint8_t* movie, size_t movieLength, std::string& error) {
  if (movieLength > UINT32_MAX) {
    error = "movie too large for a projector";
    return false;
  }
  ProjectorTrailer trailer;
  if (!readProjectorTrailer(executable, trailer)) {
    error = reason("cannot read", executable);
    return false;
  }
  // Writing over the player itself would truncate it and then delete it.
  struct stat a {}, b {};
  if (::stat(executable.c_str(), &a) == 0 && ::stat(target.c_str(), &b) == 0 &&
      a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
    error = "cannot write " + target + ": it is the player itself";
    return false;
  }
  // An executable that already carries a movie keeps only the player part.
  const uint64_t playerSize = trailer.movieInFile() ? trailer.movieOffset() : trailer.fileSize;

  const int from = ::open(executable.c_str(), O_RDONLY | O_CLOEXEC);
  if (from < 0) {
    error = reason("cannot read", executable);
    return false;
  }
  const int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (to < 0) {
    error = reason("cannot write", target);
    ::close(from);
    return false;
  }
  uint8_t tail[8];
  putLe32(tail, kProjectorMagic);
  putLe32(tail + 4, static_cast<uint32_t>(movieLength));
  const bool ok = copyFile(from, to, playerSize) && writeAll(to, movie, movieLength) &&
                  writeAll(to, tail, sizeof tail) && ::fsync(to) == 0;
  if (!ok) error = reason("cannot write", target);
  ::close(from);
  if (::close(to) != 0 && ok) {
    error = reason("cannot write", target);
    ::unlink(target.c_str());
    return false;
  }
  if (!ok) {
    ::unlink(target.c_str());
    return false;
  }
  ::chmod(target.c_str(), 0755);
  return true;
}

}  // namespace kivra
