#include "device_names.h"

namespace korvex {
namespace {

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Port and device names are ASCII; other characters are compared as they are.
wchar_t FoldCase(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

int Sign(long long value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

}  // namespace

int NaturalCompare(std::wstring_view left, std::wstring_view right)
{
    std::size_t i = 0;
    std::size_t j = 0;
    int zerosTieBreak = 0;
    while (i < left.size() && j < right.size()) {
        if (IsDigit(left[i]) && IsDigit(right[j])) {
            // Compare the digit runs as numbers of any length: skip leading zeros, then the
            // longer run is the larger number, else the first differing digit decides.
            std::size_t leftZeros = 0;
            while (i < left.size() && left[i] == L'0') {
                ++i;
                ++leftZeros;
            }
            std::size_t rightZeros = 0;
            while (j < right.size() && right[j] == L'0') {
                ++j;
                ++rightZeros;
            }
            std::size_t leftEnd = i;
            while (leftEnd < left.size() && IsDigit(left[leftEnd])) ++leftEnd;
            std::size_t rightEnd = j;
            while (rightEnd < right.size() && IsDigit(right[rightEnd])) ++rightEnd;
            const std::size_t leftLength = leftEnd - i;
            const std::size_t rightLength = rightEnd - j;
            if (leftLength != rightLength) return leftLength < rightLength ? -1 : 1;
            const int digits = left.substr(i, leftLength).compare(right.substr(j, rightLength));
            if (digits != 0) return digits < 0 ? -1 : 1;
            if (zerosTieBreak == 0 && leftZeros != rightZeros) zerosTieBreak = leftZeros < rightZeros ? -1 : 1;
            i = leftEnd;
            j = rightEnd;
            continue;
        }
        const wchar_t a = FoldCase(left[i]);
        const wchar_t b = FoldCase(right[j]);
        if (a != b) return a < b ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < left.size() || j < right.size()) return i < left.size() ? 1 : -1;
    if (zerosTieBreak != 0) return zerosTieBreak;
    return Sign(left.compare(right));
}

bool NaturalLess(std::wstring_view left, std::wstring_view right)
{
    return NaturalCompare(left, right) < 0;
}

std::vector<std::wstring> SplitMultiString(const wchar_t* data, std::size_t count)
{
    std::vector<std::wstring> strings;
    if (data == nullptr) return strings;
    std::size_t start = 0;
    while (start < count && data[start] != L'\0') {
        std::size_t end = start;
        while (end < count && data[end] != L'\0') ++end;
        strings.emplace_back(data + start, end - start);
        start = end + 1;
    }
    return strings;
}

bool IsDfuInterfaceId(std::wstring_view id)
{
    // Matched as a whole part of the ID: "DevClass_FE..." (a device class, which DFU never
    // is) or "SubClass_010" are other IDs, not this one.
    constexpr std::wstring_view token = L"class_fe&subclass_01";
    if (id.size() < token.size()) return false;
    for (std::size_t at = 0; at + token.size() <= id.size(); ++at) {
        bool same = true;
        for (std::size_t k = 0; k < token.size() && same; ++k) same = FoldCase(id[at + k]) == token[k];
        if (!same) continue;
        const bool startsPart = at == 0 || id[at - 1] == L'\\' || id[at - 1] == L'&';
        const std::size_t after = at + token.size();
        const bool endsPart = after == id.size() || id[after] == L'&';
        if (startsPart && endsPart) return true;
    }
    return false;
}

bool HasDfuInterfaceId(const std::vector<std::wstring>& ids)
{
    for (const std::wstring& id : ids)
        if (IsDfuInterfaceId(id)) return true;
    return false;
}

std::wstring UsbDeviceName(std::wstring_view friendlyName, std::wstring_view description, std::wstring_view instanceId)
{
    const std::wstring_view label = friendlyName.empty() ? description : friendlyName;
    if (label.empty()) return std::wstring(instanceId);
    std::wstring name(label);
    if (!instanceId.empty()) name.append(L" (").append(instanceId).append(L")");
    return name;
}

}  // namespace korvex
