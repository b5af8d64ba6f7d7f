// The command line of dfutool's subcommands: options read in order, numbers as dfu-util
// takes them (decimal, or hexadecimal after 0x), and usage errors that name the option.
#pragma once

#include "file_io.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dfutool {

// Exit codes: done, valid or the same; invalid or different; a usage or I/O error.
constexpr int kExitDone = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitUsage = 2;

class Arguments {
public:
    explicit Arguments(std::vector<std::string> words) : m_words(std::move(words)) {}

    bool Done() const { return m_at >= m_words.size(); }
    const std::string& Peek() const { return m_words[m_at]; }
    // True (and consumed) when the next word is this option; its value, if it takes one, in
    // --name=value form or as the following word.
    bool Option(const char* longName, const char* shortName = nullptr);
    bool Option(const char* longName, const char* shortName, std::string& value);
    std::string Next() { return m_words[m_at++]; }

private:
    std::vector<std::string> m_words;
    std::size_t m_at = 0;
};

std::uint64_t Number(const std::string& text, const char* what, std::uint64_t max);
std::uint16_t Number16(const std::string& text, const char* what);

// The JSON text of UTF-8 text: control characters escaped, the rest as is.
std::string JsonText(const std::string& text);

void Print(const std::string& text);

}  // namespace dfutool
