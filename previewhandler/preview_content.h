// What the preview shows of one file, in words and as plain map inputs, made once when the
// preview starts: the header's lines, each target's heading and the labels' words.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "KorvexLayout.h"
#include "memory_map.h"

namespace orrelin {

struct PreviewContent {
    std::wstring title;
    std::wstring numbers;  // vendor, product and release, as the info tip writes them
    std::wstring version;  // the DFU version and what the image holds
    std::wstring verdict;  // in words; for a broken file its reason
    bool valid = false;
    std::vector<MapTarget> targets;
    std::vector<std::wstring> headings;  // one a target
    std::wstring moreTargets;            // a format of one number
    MapWords words;
};

// The content for `layout` (null: the file could not be read at all) of the file named
// `title`. Texts come from the string table of the current resource module.
PreviewContent PreviewContentOf(const KorvexDfuLayout* layout, const std::wstring& title);

}  // namespace orrelin
