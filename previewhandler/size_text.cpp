#include "size_text.h"

#include <cmath>
#include <iterator>

namespace orrelin {

std::wstring SizeText(std::uint64_t bytes, const std::wstring& bytesWord)
{
    static const wchar_t* const kUnits[] = {L"KiB", L"MiB", L"GiB"};
    if (bytes < 1024) return std::to_wstring(bytes) + L" " + bytesWord;
    double value = double(bytes) / 1024.0;
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    // Whole numbers as they are, others to one decimal: "16 KiB", "1.5 MiB".
    const long long tenths = std::llround(value * 10.0);
    std::wstring text = std::to_wstring(tenths / 10);
    if (tenths % 10 != 0) text += L"." + std::to_wstring(tenths % 10);
    return text + L" " + kUnits[unit];
}

}  // namespace orrelin
