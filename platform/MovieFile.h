#pragma once
// Reading a movie file, and the one wording of what goes wrong with files:
// the headless run, --info, --create-projector and the window all say it
// the same way. Messages are one line without the "kivra-player: " prefix,
// which the printer adds.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/format/MovieBuffer.h"

namespace kivra {

// The size of the pieces a movie file is fed in, as a stream delivers it.
constexpr size_t kMovieChunkSize = 1024;

// "cannot VERB PATH: REASON", the reason taken from errno as the failed
// call left it.
std::string cannotText(const char* verb, const std::string& path);

// Reads the file at `path` in kMovieChunkSize pieces and hands each to
// `feed`, which returns false to stop early (its movie has failed);
// `opened`, when given, runs once the file is open, before the first piece.
// `bytesRead` counts what was read. Returns false with "PATH: REASON" when
// the file cannot be opened or read.
[[nodiscard]] bool readFileChunks(const std::string& path, const std::function<bool(const uint8_t*, size_t)>& feed,
                    uint64_t& bytesRead, std::string& error, const std::function<void()>& opened = {});
// The same for `length` bytes from `offset` (a movie inside another file);
// the file may end sooner. `opened` runs once the file is open at `offset`.
bool readFileChunks(const std::string& path, uint64_t offset, uint64_t length,
                    const std::function<bool(const uint8_t*, size_t)>& feed, uint64_t& bytesRead,
                    std::string& error, const std::function<void()>& opened = {});

// Whether `movie`, fed with the `bytesRead` bytes of the file at `path`,
// can be shown: false with "PATH: not a movie (empty file)", "(bad header)"
// or "(file too short: N bytes)", or with "PATH: movie too large to load".
[[nodiscard]] bool checkMovieHeader(const std::string& path, const MovieBuffer& movie, uint64_t bytesRead,
                      std::string& error);

// Both of the above into a movie of the caller's.
[[nodiscard]] bool readMovieFile(const std::string& path, MovieBuffer& movie, std::string& error);

// "incomplete movie: N of M bytes" for a movie whose file ended before its
// header's length, or empty.
std::string incompleteMovieText(const MovieBuffer& movie);

}  // namespace kivra
