#pragma once
// Compiles movie source text into a movie file. The format is described in
// tools/README.md.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kit/Tags.h"
#include "tools/qvxs/SourceText.h"

namespace kivra::qvxs {

// Image files named by bitmap directives are relative to `baseDir` (the
// source file's folder; empty: the working directory).
bool compileMovie(const std::string& text, std::vector<uint8_t>& out, Diagnostics& diag,
                  const std::string& baseDir = "");
// Tag directives into `out`; `version` decides the width of clip-event fields
// and `frameRate` (frames per second) the length of a stream's blocks.
bool compileTags(const std::vector<Node>& nodes, int version, kit::TagStream& out, Diagnostics& diag,
                 const std::string& baseDir = "", double frameRate = 12);

}  // namespace kivra::qvxs
