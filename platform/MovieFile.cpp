#include "platform/MovieFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace kivra {

namespace {
std::string errnoText() { return errno != 0 ? std::strerror(errno) : "input/output error"; }
}  // namespace

std::string cannotText(const char* verb, const std::string& path) {
  return std::string("cannot ") + verb + " " + path + ": " + errnoText();
}

bool readFileChunks(const std::string& path, const std::function<bool(const uint8_t*, size_t)>& feed,
                    uint64_t& bytesRead, std::string& error, const std::function<void()>& opened) {
  return readFileChunks(path, 0, UINT64_MAX, feed, bytesRead, error, opened);
}

bool readFileChunks(const std::string& path, uint64_t offset, uint64_t length,
                    const std::function<bool(const uint8_t*, size_t)>& feed, uint64_t& bytesRead,
                    std::string& error, const std::function<void()>& opened) {
  bytesRead = 0;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + errnoText();
    return false;
  }
  if (offset > 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
    error = path + ": " + errnoText();
    ::close(fd);
    return false;
  }
  if (opened) opened();
  uint8_t chunk[kMovieChunkSize];
  while (bytesRead < length) {
    const uint64_t left = length - bytesRead;
    const ssize_t r = ::read(fd, chunk, left < sizeof chunk ? static_cast<size_t>(left) : sizeof chunk);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      error = path + ": " + errnoText();
      ::close(fd);
      return false;
    }
    if (r == 0) break;
    bytesRead += static_cast<uint64_t>(r);
    if (!feed(chunk, static_cast<size_t>(r))) break;
  }
  ::close(fd);
  return true;
}

bool checkMovieHeader(const std::string& path, const MovieBuffer& movie, uint64_t bytesRead,
                      std::string& error) {
  if (movie.status() == MovieStatus::OutOfMemory) {
    error = path + ": movie too large to load";
    return false;
  }
  if (bytesRead == 0) {
    error = path + ": not a movie (empty file)";
    return false;
  }
  if (movie.failed()) {
    error = path + ": not a movie (bad header)";
    return false;
  }
  if (!movie.headerParsed()) {
    error = path + ": not a movie (file too short: " + std::to_string(bytesRead) +
            (bytesRead == 1 ? " byte)" : " bytes)");
    return false;
  }
  return true;
}

bool readMovieFile(const std::string& path, MovieBuffer& movie, std::string& error) {
  uint64_t bytesRead = 0;
  const auto feed = [&movie](const uint8_t* data, size_t n) {
    movie.feed(data, n);
    return !movie.failed();
  };
  return readFileChunks(path, feed, bytesRead, error) && checkMovieHeader(path, movie, bytesRead, error);
}

std::string incompleteMovieText(const MovieBuffer& movie) {
  if (movie.failed() || movie.fileLength() < 0 || movie.complete()) return {};
  return "incomplete movie: " + std::to_string(movie.received()) + " of " +
         std::to_string(movie.fileLength()) + " bytes";
}

}  // namespace kivra
