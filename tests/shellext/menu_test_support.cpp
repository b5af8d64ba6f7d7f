#include "menu_test_support.h"

#include <shellapi.h>

#include <cwchar>
#include <ostream>

namespace menutest {
namespace {

constexpr wchar_t kRecordVariable[] = L"ORRELIN_WIZARD_RECORD";

std::wstring AwayPath()
{
    return WizardBesideProgram() + L".away";
}

std::wstring Widen(const std::string& bytes)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

std::string ReadWholeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

// Puts the wizard back if an earlier run of this program ended while it was away.
struct RestoreWizardAtStart {
    RestoreWizardAtStart()
    {
        if (GetFileAttributesW(AwayPath().c_str()) != INVALID_FILE_ATTRIBUTES) {
            DeleteFileW(WizardBesideProgram().c_str());
            MoveFileW(AwayPath().c_str(), WizardBesideProgram().c_str());
        }
    }
} g_restoreWizardAtStart;

MessageBoxWatch* g_watch = nullptr;

}  // namespace

std::wstring WizardBesideProgram()
{
    return ProgramFolder() + L"Brannoc.exe";
}

std::wstring CurrentFolder()
{
    wchar_t folder[MAX_PATH];
    return std::wstring(folder, GetCurrentDirectoryW(MAX_PATH, folder));
}

TempFolder::TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    // Both architectures' tests share one prefix and may run at once: each process gets its own.
    m_path = std::wstring(temp) + name + L" " + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((m_path + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((m_path + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(m_path.c_str());
}

std::wstring TempFolder::WriteFile(const std::wstring& name, const std::string& bytes) const
{
    const std::wstring path = m_path + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

namespace {
std::vector<const wchar_t*> Pointers(const std::vector<std::wstring>& names)
{
    std::vector<const wchar_t*> pointers;
    for (const auto& name : names) pointers.push_back(name.c_str());
    return pointers;
}
}  // namespace

void SetPorts(const std::vector<std::wstring>& names)
{
    KorvexDouble_SetPorts(Pointers(names).data(), static_cast<int>(names.size()));
}

void SetDevices(const std::vector<std::wstring>& names)
{
    KorvexDouble_SetDevices(Pointers(names).data(), static_cast<int>(names.size()));
}

void PrintTo(const MenuItem& item, std::ostream* out)
{
    *out << "{" << item.id << ", \"" << testing::PrintToString(item.text) << "\"}";
}

PopupMenu::PopupMenu(int hostItems) : m_menu(CreatePopupMenu())
{
    for (int i = 0; i < hostItems; ++i) {
        const MenuItem item = HostItem(i);
        AppendMenuW(m_menu, MF_STRING, item.id, item.text.c_str());
    }
}

PopupMenu::~PopupMenu()
{
    DestroyMenu(m_menu);
}

std::vector<MenuItem> PopupMenu::Items() const
{
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(m_menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[256] = {};
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = 256;
        EXPECT_TRUE(GetMenuItemInfoW(m_menu, static_cast<UINT>(position), TRUE, &info));
        EXPECT_EQ(static_cast<UINT>(MFT_STRING), info.fType);
        items.push_back({info.wID, text});
    }
    return items;
}

MenuItem HostItem(int number)
{
    return {static_cast<UINT>(number + 1), L"Host " + std::to_wstring(number)};
}

std::vector<std::wstring> Items(const orrelin::StringList& list)
{
    return std::vector<std::wstring>(list.begin(), list.end());
}

std::vector<std::wstring> ParseArguments(const std::wstring& commandLine)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> result(arguments, arguments + (arguments ? count : 0));
    LocalFree(arguments);
    return result;
}

std::wstring SystemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", length);
    LocalFree(text);
    return message;
}

WizardRecord::WizardRecord()
{
    wchar_t temp[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"wiz", 0, name);
    DeleteFileW(name);
    m_path = name;
    SetEnvironmentVariableW(kRecordVariable, m_path.c_str());
}

WizardRecord::~WizardRecord()
{
    SetEnvironmentVariableW(kRecordVariable, nullptr);
    DeleteFileW(m_path.c_str());
}

std::vector<WizardStart> WizardRecord::Read() const
{
    std::vector<WizardStart> starts;
    const std::wstring text = Widen(ReadWholeFile(m_path));
    size_t begin = 0;
    for (size_t end; (end = text.find(L'\n', begin)) != std::wstring::npos; begin = end + 1) {
        const std::wstring line = text.substr(begin, end - begin);
        std::vector<std::wstring> fields;
        size_t from = 0;
        for (int i = 0; i < 3; ++i) {
            const size_t tab = line.find(L'\t', from);
            fields.push_back(line.substr(from, tab - from));
            from = tab + 1;
        }
        WizardStart start;
        start.processId = std::wcstoul(fields[0].c_str(), nullptr, 16);
        start.startupFlags = std::wcstoul(fields[1].c_str(), nullptr, 16);
        start.currentFolder = fields[2];
        start.commandLine = line.substr(from);
        starts.push_back(start);
    }
    return starts;
}

std::vector<WizardStart> WizardRecord::WaitFor(size_t count) const
{
    const ULONGLONG deadline = GetTickCount64() + 20000;
    std::vector<WizardStart> starts = Read();
    while (starts.size() < count && GetTickCount64() < deadline) {
        Sleep(20);
        starts = Read();
    }
    return starts;
}

void WaitForExit(const std::vector<WizardStart>& starts)
{
    for (const WizardStart& start : starts) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, start.processId);
        if (process == nullptr) continue;  // gone already
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

WizardAway::WizardAway()
{
    EXPECT_TRUE(MoveFileW(WizardBesideProgram().c_str(), AwayPath().c_str()));
}

WizardAway::~WizardAway()
{
    DeleteFileW(WizardBesideProgram().c_str());
    EXPECT_TRUE(MoveFileW(AwayPath().c_str(), WizardBesideProgram().c_str()));
}

void WizardAway::PlaceNonProgram() const
{
    HANDLE file = CreateFileW(WizardBesideProgram().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const char text[] = "not a program\r\n";
    DWORD written = 0;
    ::WriteFile(file, text, sizeof(text) - 1, &written, nullptr);
    CloseHandle(file);
}

DWORD ProcessesStarted()
{
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        EXPECT_TRUE(AssignProcessToJobObject(created, GetCurrentProcess()));
        return created;
    }();
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    EXPECT_TRUE(QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof(info), nullptr));
    return info.TotalProcesses;
}

MessageBoxWatch::MessageBoxWatch() : m_hook(SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId()))
{
    EXPECT_NE(nullptr, m_hook);
    g_watch = this;
}

MessageBoxWatch::~MessageBoxWatch()
{
    UnhookWindowsHookEx(m_hook);
    g_watch = nullptr;
}

LRESULT CALLBACK MessageBoxWatch::Hook(int code, WPARAM wParam, LPARAM lParam)
{
    const HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t className[64] = {};
    if (code == HCBT_ACTIVATE && g_watch != nullptr && GetClassNameW(window, className, 64) &&
        std::wcscmp(className, L"#32770") == 0 && GetPropW(window, L"MenuTestSeen") == nullptr) {
        SetPropW(window, L"MenuTestSeen", reinterpret_cast<HANDLE>(1));
        MessageBoxSeen seen;
        wchar_t text[4096] = {};
        GetWindowTextW(window, text, 4096);
        seen.caption = text;
        text[0] = L'\0';
        GetDlgItemTextW(window, 0xFFFF, text, 4096);
        seen.text = text;
        seen.owner = GetWindow(window, GW_OWNER);
        for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDHELP, IDTRYAGAIN, IDCONTINUE}) {
            const HWND button = GetDlgItem(window, id);
            if (button != nullptr && (GetWindowLongW(button, GWL_STYLE) & WS_VISIBLE) != 0)
                seen.visibleButtons.push_back(id);
        }
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && GetClassNameW(child, className, 64) &&
                _wcsicmp(className, L"Static") == 0)
                seen.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        g_watch->m_seen.push_back(seen);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t begin = 0;
    for (size_t end; (end = text.find(L'\n', begin)) != std::wstring::npos; begin = end + 1)
        lines.push_back(text.substr(begin, end - begin));
    lines.push_back(text.substr(begin));
    return lines;
}

}  // namespace menutest
