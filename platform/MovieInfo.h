#pragma once
// `kivra-player --info`: the header fields and one line per tag.
#include <cstdio>
#include <string>

namespace kivra {

// Prints the movie's header and tags to `out`; problems go to `err`, one
// line each, worded and prefixed as the player's other messages. Returns
// the process exit status (0, or 1 for an unreadable file, a file that is
// not a movie or a corrupt tag).
int printMovieInfo(const std::string& path, FILE* out, FILE* err);

}  // namespace kivra
