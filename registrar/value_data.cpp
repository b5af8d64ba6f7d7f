#include "value_data.h"

#include <new>

namespace orrelin::regscript {

namespace {

int HexDigitValue(char16_t c) noexcept
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return 0;
}

}  // namespace

HResult BinaryFromText(std::u16string_view data, std::vector<std::uint8_t>* bytes)
{
    if (data.size() % 2 != 0) return kEFail;
    try {
        bytes->assign(data.size() / 2, 0);
    } catch (const std::bad_alloc&) {
        return kEFail;
    }
    for (std::size_t i = 0; i < bytes->size(); ++i)
        (*bytes)[i] = static_cast<std::uint8_t>((HexDigitValue(data[2 * i]) << 4) | HexDigitValue(data[2 * i + 1]));
    return kSOk;
}

HResult MultiStringFromText(std::u16string_view data, std::vector<char16_t>* strings, std::uint32_t* bytes)
{
    try {
        strings->clear();
        strings->reserve(data.size() + 2);
    } catch (const std::bad_alloc&) {
        return kEOutOfMemory;
    }
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != u'\\') {
            strings->push_back(data[i]);
        } else if (i + 1 < data.size() && data[i + 1] == u'0') {
            strings->push_back(u'\0');
            ++i;
        } else {
            // Any other escaped character stays as written, with the backslash.
            strings->push_back(data[i]);
            if (i + 1 < data.size()) strings->push_back(data[++i]);
        }
    }
    strings->push_back(u'\0');
    strings->push_back(u'\0');
    // The value ends with the first empty string, whatever follows it.
    std::size_t end = 0;
    while ((*strings)[end] != u'\0') {
        while ((*strings)[end] != u'\0') ++end;
        ++end;
    }
    *bytes = static_cast<std::uint32_t>((end + 1) * sizeof(char16_t));
    return kSOk;
}

HResult DecimalNumberFromText(std::u16string_view text, std::uint32_t* value) noexcept
{
    if (text.empty()) return kDispETypeMismatch;
    std::uint64_t number = 0;
    bool overflow = false;
    for (const char16_t c : text) {
        if (c < u'0' || c > u'9') return kDispETypeMismatch;
        number = number * 10 + static_cast<std::uint64_t>(c - u'0');
        if (number > 0xFFFFFFFFu) {
            overflow = true;
            number = 0xFFFFFFFFu;  // keeps the arithmetic bounded for long digit runs
        }
    }
    if (overflow) return kDispEOverflow;
    *value = static_cast<std::uint32_t>(number);
    return kSOk;
}

}  // namespace orrelin::regscript
