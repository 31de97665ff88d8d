#pragma once
// Compiles movie source text into a movie file. The format is described in
// tools/README.md.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kit/Tags.h"
#include "tools/qvxs/SourceText.h"

namespace kivra::qvxs {

bool compileMovie(const std::string& text, std::vector<uint8_t>& out, Diagnostics& diag);
// Tag directives into `out`; `version` decides the width of clip-event fields.
bool compileTags(const std::vector<Node>& nodes, int version, kit::TagStream& out, Diagnostics& diag);

}  // namespace kivra::qvxs
