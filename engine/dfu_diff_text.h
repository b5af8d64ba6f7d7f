// The comparison of two .dfu files as a person reads it: dfutool prints it, and the shell's
// comparison window shows the same text.
#pragma once

#include "dfu_diff.h"

#include <string>

namespace korvex {

// Says the files are the same firmware, or lists the differing suffix fields and, per
// target, its fields and the ranges whose bytes differ; nameA and nameB name the files.
std::string DiffText(const DfuDifference& diff, const std::string& nameA, const std::string& nameB);

}  // namespace korvex
