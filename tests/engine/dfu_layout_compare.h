// A layout as one line of text, so two reads of the same bytes compare as a whole (in the
// tests and in the reader's fuzzer).
#pragma once

#include "dfu_layout.h"

#include <sstream>
#include <string>

namespace dfutest {

inline std::string Describe(const korvex::DfuLayout& layout)
{
    std::ostringstream out;
    out << layout.fileSize << ' ' << static_cast<unsigned>(layout.verdict) << ' ' << layout.systemError << ' '
        << layout.dfuVersion << ' ' << layout.vendor << ' ' << layout.product << ' ' << layout.release << ' '
        << unsigned{layout.suffixLength} << ' ' << layout.storedCrc << ' ' << layout.computedCrc << ' '
        << layout.crcMatchesWithoutLpcPrefix << ' ' << layout.dfuse << ' ' << unsigned{layout.dfuseVersion} << ' '
        << layout.statedImageSize << ' ' << unsigned{layout.statedTargetCount} << " |";
    for (const korvex::DfuTarget& t : layout.targets) {
        out << " T" << t.offset << ' ' << unsigned{t.alternateSetting} << ' ' << t.named << ' ' << t.name.size() << ':'
            << t.name << ' ' << t.statedSize << ' ' << t.statedElementCount << ' ' << t.elementCount;
        for (const korvex::DfuElement& e : t.elements) out << " E" << e.address << ',' << e.size << ',' << e.dataOffset;
    }
    out << " |";
    for (const korvex::DfuFindingRecord& f : layout.findings) {
        out << " F" << static_cast<unsigned>(f.kind) << ',' << f.target << ',' << f.element << ',' << f.otherElement
            << ',' << f.stated << ',' << f.actual;
    }
    out << " +" << layout.unlistedFindings;
    return out.str();
}

}  // namespace dfutest
