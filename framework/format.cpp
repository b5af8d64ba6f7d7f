#include "format.h"

#include <algorithm>

namespace orrelin {
namespace {

struct Placeholder {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool alternate = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    wchar_t conversion = 0;
};

size_t ReadNumber(std::wstring_view format, size_t& i)
{
    size_t value = 0;
    while (i < format.size() && format[i] >= L'0' && format[i] <= L'9') {
        value = std::min<size_t>(value * 10 + static_cast<size_t>(format[i] - L'0'), 4096);
        ++i;
    }
    return value;
}

Placeholder ReadPlaceholder(std::wstring_view format, size_t& i)
{
    Placeholder placeholder;
    for (; i < format.size(); ++i) {
        const wchar_t c = format[i];
        if (c == L'-')
            placeholder.leftAlign = true;
        else if (c == L'0')
            placeholder.zeroPad = true;
        else if (c == L'+')
            placeholder.plusSign = true;
        else if (c == L' ')
            placeholder.spaceSign = true;
        else if (c == L'#')
            placeholder.alternate = true;
        else
            break;
    }
    placeholder.width = ReadNumber(format, i);
    if (i < format.size() && format[i] == L'.') {
        ++i;
        placeholder.hasPrecision = true;
        placeholder.precision = ReadNumber(format, i);
    }
    // Length modifiers only say how C varargs were passed; our values carry their own width.
    while (i < format.size()) {
        if (format[i] == L'h' || format[i] == L'l' || format[i] == L'L') {
            ++i;
        } else if (format[i] == L'I') {
            ++i;
            if (format.substr(i, 2) == L"64" || format.substr(i, 2) == L"32") i += 2;
        } else {
            break;
        }
    }
    if (i >= format.size()) throw FormatError("format ends inside a placeholder");
    placeholder.conversion = format[i++];
    return placeholder;
}

std::wstring Digits(unsigned long long value, unsigned base, bool upper)
{
    const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    do {
        text.push_back(digits[value % base]);
        value /= base;
    } while (value != 0);
    std::reverse(text.begin(), text.end());
    return text;
}

void Pad(std::wstring& out, const Placeholder& placeholder, std::wstring_view prefix, std::wstring_view body,
         bool numeric)
{
    const size_t length = prefix.size() + body.size();
    const size_t fill = placeholder.width > length ? placeholder.width - length : 0;
    if (placeholder.leftAlign)
        out.append(prefix).append(body).append(fill, L' ');
    else if (numeric && placeholder.zeroPad && !placeholder.hasPrecision)
        out.append(prefix).append(fill, L'0').append(body);
    else
        out.append(fill, L' ').append(prefix).append(body);
}

void AppendNumber(std::wstring& out, const Placeholder& placeholder, const FormatValue& value)
{
    if (value.kind() == FormatValue::Kind::Text) throw FormatError("number placeholder given a text");
    std::wstring prefix;
    std::wstring body;
    switch (placeholder.conversion) {
    case L'd':
    case L'i': {
        const long long v = value.asSigned();
        const unsigned long long magnitude =
            v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
        body = Digits(magnitude, 10, false);
        if (v < 0)
            prefix = L"-";
        else if (placeholder.plusSign)
            prefix = L"+";
        else if (placeholder.spaceSign)
            prefix = L" ";
        break;
    }
    case L'u':
        body = Digits(value.asUnsigned(), 10, false);
        break;
    case L'x':
    case L'X': {
        const unsigned long long v = value.asUnsigned();
        body = Digits(v, 16, placeholder.conversion == L'X');
        if (placeholder.alternate && v != 0) prefix = placeholder.conversion == L'X' ? L"0X" : L"0x";
        break;
    }
    case L'o': {
        const unsigned long long v = value.asUnsigned();
        body = Digits(v, 8, false);
        if (placeholder.alternate && body[0] != L'0') body.insert(body.begin(), L'0');
        break;
    }
    default:
        throw FormatError("unknown placeholder");
    }
    if (placeholder.hasPrecision && body.size() < placeholder.precision)
        body.insert(body.begin(), placeholder.precision - body.size(), L'0');
    if (placeholder.hasPrecision && placeholder.precision == 0 && value.asUnsigned() == 0) body.clear();
    Pad(out, placeholder, prefix, body, true);
}

}  // namespace

std::wstring FormatWithValues(std::wstring_view format, std::initializer_list<FormatValue> values)
{
    std::wstring out;
    out.reserve(format.size() + 64);
    auto next = values.begin();
    auto take = [&]() -> const FormatValue& {
        if (next == values.end()) throw FormatError("too few values for the format");
        return *next++;
    };

    for (size_t i = 0; i < format.size();) {
        const wchar_t c = format[i++];
        if (c != L'%') {
            out.push_back(c);
            continue;
        }
        if (i < format.size() && format[i] == L'%') {
            out.push_back(L'%');
            ++i;
            continue;
        }
        const Placeholder placeholder = ReadPlaceholder(format, i);
        switch (placeholder.conversion) {
        case L's':
        case L'S': {
            const FormatValue& value = take();
            if (value.kind() != FormatValue::Kind::Text) throw FormatError("text placeholder given a number");
            std::wstring_view text = value.text();
            if (placeholder.hasPrecision) text = text.substr(0, placeholder.precision);
            Pad(out, placeholder, {}, text, false);
            break;
        }
        case L'c':
        case L'C': {
            const FormatValue& value = take();
            if (value.kind() == FormatValue::Kind::Text) throw FormatError("character placeholder given a text");
            const wchar_t ch = static_cast<wchar_t>(value.asUnsigned());
            Pad(out, placeholder, {}, std::wstring_view(&ch, 1), false);
            break;
        }
        default:
            AppendNumber(out, placeholder, take());
            break;
        }
    }
    if (next != values.end()) throw FormatError("more values than placeholders");
    return out;
}

}  // namespace orrelin
