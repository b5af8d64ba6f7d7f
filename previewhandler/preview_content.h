// What the preview shows of one file, in words and as plain map inputs, made once from the
// engine's layout when the preview starts: the header's lines, each target's heading and
// elements, and the labels' words.
#pragma once

#include <windows.h>

#include <string>

#include "KorvexLayout.h"
#include "preview_layout.h"

namespace orrelin {

struct PreviewContent {
    std::wstring title;
    std::wstring numbers;  // vendor, product and release, as the info tip writes them
    std::wstring version;  // the DFU version and what the image holds
    std::wstring verdict;  // in words; for a broken file its reason
    bool valid = false;
    // Not on this device: nothing was read, so nothing is known to be wrong with it.
    bool elsewhere = false;
    std::vector<MapTarget> targets;  // a DfuSe image's; none for a file without one
    std::wstring moreTargets;        // a format of one number
    MapWords words;
};

// The content for `layout` (null: the file could not be read at all) of the file named
// `fileName` (empty: the stream named none, and the title names the file type). Texts come
// from the string table of the current resource module.
PreviewContent PreviewContentOf(const KorvexDfuLayout* layout, const std::wstring& fileName);

}  // namespace orrelin
