#pragma once
// Host commands: what a movie asks of the player that runs it, through a URL
// of the form "VXCommand:<name>" with an argument. The parsing here is the
// same for every host; carrying a command out is the host's business.
#include <string_view>

#include "core/format/CaseInsensitive.h"

namespace kivra {

enum class HostCommand { Unknown, Quit, FullScreen, AllowScale, ShowMenu, TrapAllKeys, Exec };

// The command a name stands for, compared in full without letter case.
HostCommand hostCommandNamed(std::string_view name);

// If `url` begins with "VXCommand:" (any letter case), sets `name` to the
// rest and returns true.
[[nodiscard]] bool splitHostCommandUrl(std::string_view url, std::string_view& name);

// A boolean argument: a number is true unless it is 0; otherwise only "true"
// and "yes" (any letter case) are true.
[[nodiscard]] bool hostCommandFlag(std::string_view argument);

// Whether "exec" may start a program of this name: letters, digits, "." and
// "_" only, and never a name that could step out of the folder ("." or any
// ".." inside). Empty names are refused.
bool isLaunchableProgramName(std::string_view name);

}  // namespace kivra
