// SHA-256 of a .dfu file and of each element's data (a plain file's image counts as one
// element), in one pass over the file.
#pragma once

#include "dfu_layout.h"
#include "file_io.h"
#include "sha256.h"

#include <vector>

namespace korvex {

struct ElementDigest {
    std::uint32_t target = kNoIndex;  // kNoIndex: a plain file's image
    std::uint32_t element = 0;
    std::uint32_t address = 0;
    std::uint64_t size = 0;
    Sha256Digest digest{};
};

struct DfuDigests {
    Sha256Digest file{};
    std::vector<ElementDigest> elements;
};

// layout: the file's, read through (ReadValidLayout).
DfuDigests HashDfuFile(InputFile& file, const DfuLayout& layout);

}  // namespace korvex
