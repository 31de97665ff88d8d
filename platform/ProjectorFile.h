#pragma once
// The projector trailer: a movie appended to the player executable, found
// through the last 8 bytes (u32 magic 0xFA123456, u32 movie length L, little
// endian); the movie occupies the L bytes just before them.
#include <cstdint>
#include <string>
#include <vector>

namespace kivra {

constexpr uint32_t kProjectorMagic = 0xFA123456u;

struct ProjectorTrailer {
  bool found = false;         // the last 8 bytes carry the magic
  uint32_t movieLength = 0;   // L
  uint64_t fileSize = 0;
  // The movie lies inside the file (L + 8 <= file size).
  bool movieInFile() const { return found && uint64_t{movieLength} + 8 <= fileSize; }
  uint64_t movieOffset() const { return fileSize - 8 - movieLength; }
};

// Reads the trailer of a file; `found` is false when there is none or the
// file is shorter than 8 bytes. Returns false when the file cannot be read.
[[nodiscard]] bool readProjectorTrailer(const std::string& path, ProjectorTrailer& out);

// Why `target` must not be written as a projector: it is the player
// `executable` itself, or the file at `moviePath` (empty: not checked), be
// it under the same name or through a link. Writing either would lose it.
// Returns the one-line reason, or an empty string when `target` may be
// written. Nothing is touched.
std::string projectorTargetRefusal(const std::string& executable, const std::string& target,
                                   const std::string& moviePath);

// Writes `target`: a copy of `executable` whose embedded movie (if any) is
// replaced by `movie` (an uncompressed movie read from `moviePath`, or empty
// when it has no file), followed by the trailer. The projector is written
// to a temporary file beside `target` and renamed over it only when
// complete, so on any failure, a refusal above included, `target` is left as
// it was and a one-line reason returned.
[[nodiscard]] bool writeProjector(const std::string& executable, const std::string& target, const uint8_t* movie,
                    size_t movieLength, std::string& error, const std::string& moviePath = {});

}  // namespace kivra
