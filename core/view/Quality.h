#pragma once
// The render quality a movie or the user chooses.

namespace kivra {

enum class Quality { Low, Medium, High, Best };

}  // namespace kivra
