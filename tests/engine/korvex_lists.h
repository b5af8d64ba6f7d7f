// A list Korvex.dll hands out, as a vector a test can compare whole.
#pragma once

#include "Korvex.h"

#include <string>
#include <vector>

inline std::vector<std::wstring> Items(const CStringListX& list)
{
    std::vector<std::wstring> items;
    CStringListX::POSITION position = list.GetHeadPosition();
    while (static_cast<CStringX*>(position) != nullptr)
        items.emplace_back(static_cast<const wchar_t*>(list.GetNext(position)));
    return items;
}
