// Taking a .dfu file apart: each DfuSe element to a raw binary named for its target and
// address, each target to Intel HEX or S-records with its addresses, a plain file's image
// to a raw binary. All outputs are put in place together, or none is.
#pragma once

#include "dfu_layout.h"
#include "file_io.h"

#include <vector>

namespace korvex {

struct ExtractRequest {
    bool binaries = true;
    bool intelHex = false;
    bool sRecords = false;
    Path prefix;           // names start with it: PREFIX.target0.08000000.bin, PREFIX.bin
    bool replace = false;  // existing outputs are replaced
};

// The layout of file, read through; refuses a file that is not valid or whose elements
// reach past their target or image.
DfuLayout ReadValidLayout(InputFile& file);

// For a caller that asked to take apart a file that is not intact: a file whose suffix is
// there but whose CRC is wrong or whose elements reach past its image. The layout keeps the
// elements whose data the file holds whole; dropped counts those left out. A file with no
// suffix to go by is refused as by ReadValidLayout.
DfuLayout ReadDamagedLayout(InputFile& file, std::uint64_t& dropped);

// The outputs request asks for, by name, before anything is written.
std::vector<Path> ExtractNames(const DfuLayout& layout, const ExtractRequest& request);
// Writes them; returns their names. Refuses an output that is the input itself.
std::vector<Path> Extract(InputFile& file, const DfuLayout& layout, const ExtractRequest& request);

}  // namespace korvex
