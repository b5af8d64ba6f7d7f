// Filling the engine's lists, for the engine and its test double alike.
#pragma once

#include <string>
#include <vector>

#include "Korvex.h"

namespace korvex {

// Replaces what `list` holds with `names`, in order; answers the list's new count.
int ReplaceListContents(CStringListX& list, const std::vector<std::wstring>& names);

}  // namespace korvex
