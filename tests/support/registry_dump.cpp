#include "registry_dump.h"

#include "reg_types.h"

#include <cstdio>
#include <cstring>

namespace orrelin::regscript {

namespace {

void AppendEscaped(std::string& out, char16_t c)
{
    if (c == u'\\' || c == u'"') {
        out.push_back('\\');
        out.push_back(static_cast<char>(c));
    } else if (c == 0) {
        out += "\\0";
    } else if (c >= 0x20 && c < 0x7F) {
        out.push_back(static_cast<char>(c));
    } else {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
        out += buffer;
    }
}

}  // namespace

std::string EscapeText(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char16_t c : text) AppendEscaped(out, c);
    return out;
}

std::string EscapeKeyPath(std::u16string_view path)
{
    // Key names hold no backslash, so the separators stay as they are.
    std::string text;
    for (const char16_t c : path)
        if (c == u'\\')
            text.push_back('\\');
        else
            AppendEscaped(text, c);
    return text;
}

std::string FormatKeyLine(std::u16string_view path)
{
    return EscapeKeyPath(path) + "\n";
}

std::string FormatValueLine(std::u16string_view name, std::uint32_t type, const std::uint8_t* data, std::size_t size)
{
    std::string line = "  ";
    line += name.empty() ? std::string("@") : EscapeText(name);
    line += " = ";
    const bool text = (type == kRegSz || type == 2 || type == kRegMultiSz) && size % 2 == 0;
    if (text) {
        line += type == kRegSz ? "REG_SZ \"" : type == kRegMultiSz ? "REG_MULTI_SZ \"" : "REG_EXPAND_SZ \"";
        for (std::size_t i = 0; i < size; i += 2) {
            char16_t c;
            std::memcpy(&c, data + i, sizeof c);
            AppendEscaped(line, c);
        }
        line += "\"";
    } else if (type == kRegDword && size == 4) {
        std::uint32_t number;
        std::memcpy(&number, data, sizeof number);
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "REG_DWORD 0x%08X", static_cast<unsigned>(number));
        line += buffer;
    } else {
        char buffer[24];
        if (type == kRegBinary) {
            line += "REG_BINARY [";
        } else {
            std::snprintf(buffer, sizeof buffer, "type %u [", static_cast<unsigned>(type));
            line += buffer;
        }
        for (std::size_t i = 0; i < size; ++i) {
            std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : " %02x", data[i]);
            line += buffer;
        }
        line += "]";
    }
    line += "\n";
    return line;
}

}  // namespace orrelin::regscript
