// Stand-in for a program a setup program starts (powershell.exe in the setup program's
// tests): it appends the arguments it received, as the C runtime split its command line
// (the rules powershell.exe itself parses by), to the file named by ORRELIN_ARGV_RECORD:
// one line per argument, UTF-8, then an empty line. It exits with the number in
// ORRELIN_ARGV_EXIT (default 0), so a test can make the started program fail.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], size, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size - 1));
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const wchar_t* record = _wgetenv(L"ORRELIN_ARGV_RECORD");
    if (record == nullptr || *record == L'\0') return 3;
    FILE* out = _wfopen(record, L"ab");
    if (out == nullptr) return 3;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = Utf8(argv[i]);
        std::fwrite(argument.data(), 1, argument.size(), out);
        std::fputc('\n', out);
    }
    std::fputc('\n', out);
    std::fclose(out);
    const wchar_t* code = _wgetenv(L"ORRELIN_ARGV_EXIT");
    return code != nullptr ? _wtoi(code) : 0;
}
