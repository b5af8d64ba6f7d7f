#include "arguments.h"

#include <cstdio>
#include <cstring>

namespace dfutool {

bool Arguments::Option(const char* longName, const char* shortName)
{
    if (Done()) return false;
    const std::string& word = m_words[m_at];
    if (word == longName || (shortName != nullptr && word == shortName)) {
        ++m_at;
        return true;
    }
    return false;
}

bool Arguments::Option(const char* longName, const char* shortName, std::string& value)
{
    if (Done()) return false;
    const std::string& word = m_words[m_at];
    const std::size_t length = std::strlen(longName);
    if (word.compare(0, length, longName) == 0 && word.size() > length && word[length] == '=') {
        value = word.substr(length + 1);
        ++m_at;
        return true;
    }
    if (word != longName && (shortName == nullptr || word != shortName)) return false;
    if (m_at + 1 >= m_words.size()) korvex::ThrowUsage(word + " needs a value");
    value = m_words[m_at + 1];
    m_at += 2;
    return true;
}

std::uint64_t Number(const std::string& text, const char* what, std::uint64_t max)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::size_t first = hex ? 2 : 0;
    std::uint64_t value = 0;
    bool bad = text.size() == first;
    for (std::size_t i = first; i < text.size() && !bad; ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        const unsigned base = hex ? 16 : 10;
        if (digit < 0 || value > (max - static_cast<unsigned>(digit)) / base) bad = true;
        value = value * base + static_cast<unsigned>(digit);
    }
    if (bad) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "0x%llX", static_cast<unsigned long long>(max));
        korvex::ThrowUsage(std::string(what) + " \"" + text + "\": not a number from 0 to " + limit);
    }
    return value;
}

std::uint16_t Number16(const std::string& text, const char* what)
{
    return static_cast<std::uint16_t>(Number(text, what, 0xFFFF));
}

std::string JsonText(const std::string& text)
{
    std::string out = "\"";
    char escape[8];
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if ((code >= 0x20 && code < 0x7F) || code >= 0x80) {
            out += c;
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", code);
            out += escape;
        }
    }
    return out + "\"";
}

void Print(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace dfutool
