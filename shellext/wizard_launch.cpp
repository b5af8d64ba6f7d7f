#include "wizard_launch.h"

#include <vector>

#include "handles.h"
#include "hresult.h"
#include "module_file_name.h"
#include "module_state.h"
#include "resource.h"
#include "shared_read_file.h"
#include "string_table.h"
#include "wizard_command_line.h"

namespace orrelin {
namespace {

// Tells the user why the wizard did not start; returns when the box is closed.
void ShowStartFailure(HWND owner, const std::wstring& commandLine, const std::wstring& reason)
{
    const std::wstring caption = FormatResString(IDS_WIZARD_CAPTION);
    const std::wstring message = FormatResString(IDS_WIZARD_START_FAILED, {commandLine, reason});
    MessageBoxW(owner, message.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace

std::wstring GetWizardPath()
{
    // A name cut short would name another folder.
    std::wstring moduleName;
    if (FAILED(GetModuleFileNameWhole(ThisModule(), moduleName))) return std::wstring();
    std::wstring path = WizardPathBeside(moduleName);
    FileStatus status;
    return GetPathStatus(path, status) ? path : std::wstring();
}

std::wstring StartFailureReason(DWORD error, const std::wstring& programPath)
{
    // The null entry ends the inserts; %1 in the system's message is the program path.
    DWORD_PTR inserts[2] = {reinterpret_cast<DWORD_PTR>(programPath.c_str()), 0};
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text), 0,
                       reinterpret_cast<va_list*>(inserts));
    const UniqueLocalMemory owner(text);
    if (length == 0 || text == nullptr) return FormatResString(IDS_WIZARD_REASON_UNKNOWN);
    return std::wstring(text, length);
}

HRESULT LaunchDownloadEntry(const StringList& commandLines, const CMINVOKECOMMANDINFO* info)
{
    if (info == nullptr) return E_INVALIDARG;

    // A verb is a command offset only when its whole value fits in 16 bits; anything else
    // points to a verb string, which these entries do not offer. In a 64-bit host a string
    // at an address whose low 32 bits have a zero upper half must not pass for an offset.
    const UINT_PTR verb = reinterpret_cast<UINT_PTR>(info->lpVerb);
    if (verb > 0xFFFF) return E_INVALIDARG;
    const std::wstring* commandLine = commandLines.Lookup(verb);
    if (commandLine == nullptr) return E_INVALIDARG;

    return StartWizard(*commandLine, info->hwnd, (info->fMask & CMIC_MASK_FLAG_NO_UI) != 0);
}

HRESULT StartWizard(const std::wstring& commandLine, HWND owner, bool noUserInterface)
{
    const std::wstring program = ProgramPathOf(commandLine);
    // The platform may write into the command line while it starts the process.
    std::vector<wchar_t> writable(commandLine.c_str(), commandLine.c_str() + commandLine.size() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_FORCEONFEEDBACK;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(program.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                       nullptr, &startup, &process)) {
        // The wizard runs on by itself; nothing waits for it or keeps it.
        UniqueHandle thread(process.hThread);
        UniqueHandle started(process.hProcess);
        return S_OK;
    }
    const DWORD error = GetLastError();

    // A caller that asked for no user interface learns the failure from the result instead.
    if (noUserInterface) return error != 0 ? HResultFromWin32(static_cast<long>(error)) : E_FAIL;

    ShowStartFailure(owner, commandLine, StartFailureReason(error, program));
    return S_OK;
}

}  // namespace orrelin
