// Stand-in for the upgrade wizard Brannoc.exe, for tests and the demo. It downloads
// nothing: it appends one record of how it was started and exits.
//
// The record goes to the file named by ORRELIN_WIZARD_RECORD, else to Brannoc.log beside
// this program. One line per start, UTF-8, fields separated by tabs, the command line last
// and exactly as the process received it:
//   process id (hex), start-up flags (hex), current directory, command line
// When ORRELIN_WIZARD_HOLD names an event, the wizard then waits for it (at most 10 s), so a
// test can see that its starter did not wait for it.
#include <windows.h>

#include <string>

#include "path.h"

namespace {

std::wstring Variable(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], size);
    value.resize(length < size ? length : 0);
    return value;
}

std::wstring RecordPath()
{
    std::wstring path = Variable(L"ORRELIN_WIZARD_RECORD");
    if (!path.empty()) return path;
    std::wstring self(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
    self.resize(length);
    return orrelin::SplitPath(self).folder + L"Brannoc.log";
}

std::wstring Hex(unsigned long value)
{
    wchar_t text[16];
    wsprintfW(text, L"%lX", value);
    return text;
}

std::string Utf8(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

void AppendRecord(const std::wstring& line)
{
    // Wizards started together append to the same record. Appending alone does not keep
    // their lines apart under every platform (Wine places an append at the end it saw,
    // so two writers can land on the same offset), so appends take turns under a named
    // mutex and each writes its whole line at the end found while holding it.
    HANDLE turn = CreateMutexW(nullptr, FALSE, L"Local\\OrrelinWizardRecord");
    if (turn != nullptr) WaitForSingleObject(turn, 10000);
    HANDLE file = CreateFileW(RecordPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::string bytes = Utf8(line);
        LARGE_INTEGER end = {};
        DWORD written = 0;
        if (SetFilePointerEx(file, end, nullptr, FILE_END))
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    if (turn != nullptr) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    std::wstring directory(32768, L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), &directory[0]));

    AppendRecord(Hex(GetCurrentProcessId()) + L"\t" + Hex(startup.dwFlags) + L"\t" + directory + L"\t" +
                 GetCommandLineW() + L"\n");

    const std::wstring hold = Variable(L"ORRELIN_WIZARD_HOLD");
    if (!hold.empty()) {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, hold.c_str());
        if (event != nullptr) {
            WaitForSingleObject(event, 10000);
            CloseHandle(event);
        }
    }
    return 0;
}
