// printf-style formatting in which every placeholder is filled from a typed value. A value
// is only ever inserted, never read as a format, and a number keeps its full width whatever
// length modifier the format names: "%li" prints a 64-bit file length whole on every
// architecture, where C varargs would pass 32 bits and shift every later value.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orrelin {

class FormatValue {
public:
    enum class Kind { Text, Signed, Unsigned };

    FormatValue(const wchar_t* text) : m_kind(Kind::Text), m_text(text ? text : L"") {}
    FormatValue(const std::wstring& text) : m_kind(Kind::Text), m_text(text) {}
    FormatValue(std::wstring_view text) : m_kind(Kind::Text), m_text(text) {}
    FormatValue(int value) : m_kind(Kind::Signed), m_signed(value) {}
    FormatValue(long value) : m_kind(Kind::Signed), m_signed(value) {}
    FormatValue(long long value) : m_kind(Kind::Signed), m_signed(value) {}
    FormatValue(unsigned int value) : m_kind(Kind::Unsigned), m_unsigned(value) {}
    FormatValue(unsigned long value) : m_kind(Kind::Unsigned), m_unsigned(value) {}
    FormatValue(unsigned long long value) : m_kind(Kind::Unsigned), m_unsigned(value) {}

    Kind kind() const { return m_kind; }
    std::wstring_view text() const { return m_text; }
    long long asSigned() const { return m_kind == Kind::Signed ? m_signed : static_cast<long long>(m_unsigned); }
    unsigned long long asUnsigned() const
    {
        return m_kind == Kind::Unsigned ? m_unsigned : static_cast<unsigned long long>(m_signed);
    }

private:
    Kind m_kind;
    std::wstring_view m_text;
    long long m_signed = 0;
    unsigned long long m_unsigned = 0;
};

// Raised for a format that does not match its values: a text placeholder given a number or
// the reverse, too few or too many values, or a conversion this formatter does not know.
class FormatError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Conversions: s (text), d i u (decimal), x X (hexadecimal), o (octal), c (a character from a
// number), with the flags - 0 + space #, a width and a precision given as digits, and the
// length modifiers h l ll I64 I32 I, which are read and ignored. "%%" is one percent sign.
std::wstring FormatWithValues(std::wstring_view format, std::initializer_list<FormatValue> values);

}  // namespace orrelin
