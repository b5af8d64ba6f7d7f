#include "tool_jobs.h"

#include <algorithm>
#include <memory>

#include "background_work.h"
#include "compare_window.h"
#include "hresult.h"
#include "make_dialog.h"
#include "resource.h"
#include "string_table.h"
#include "tool_commands.h"

namespace orrelin {
namespace {

std::wstring NameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

BackgroundJob JobFor(ToolCommand command, const std::vector<std::wstring>& paths, HWND owner, bool quiet)
{
    BackgroundJob job;
    job.owner = owner;
    job.quiet = quiet;
    const std::wstring first = paths[0];
    switch (command) {
    case ToolCommand::kMakeDfu: {
        job.title = LoadResString(IDS_TOOLS_MAKE_TITLE);
        auto request = std::make_shared<MakeRequest>();
        job.before = [paths, request](HWND dialogOwner) {
            return ShowMakeDfuDialog(dialogOwner, paths, *request) == S_OK;
        };
        job.work = [request](WorkProgress& progress, std::wstring& error) {
            return MakeDfuFile(*request, progress, error);
        };
        break;
    }
    case ToolCommand::kExtract:
        job.title = LoadResString(IDS_TOOLS_EXTRACT_TITLE);
        job.work = [first, owner, quiet, title = job.title](WorkProgress& progress, std::wstring& error) {
            // Without leave to ask, a file that is not intact is not taken apart.
            const ConfirmDamaged confirm = [&](const std::wstring& reason) {
                if (quiet) return false;
                const std::wstring text = FormatResString(IDS_TOOLS_DAMAGED_CONFIRM, {NameOf(first), reason});
                return MessageBoxW(owner, text.c_str(), title.c_str(), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) ==
                       IDYES;
            };
            std::wstring folder;
            return ExtractFirmware(first, confirm, progress, folder, error);
        };
        break;
    case ToolCommand::kCopySha256:
        job.title = LoadResString(IDS_TOOLS_HASH_TITLE);
        job.work = [first](WorkProgress& progress, std::wstring& error) {
            std::wstring digest;
            RETURN_IF_FAILED(HashFile(first, progress, digest, error));
            return PutOnClipboard(digest, error);
        };
        break;
    case ToolCommand::kCompare: {
        job.title = LoadResString(IDS_TOOLS_COMPARE_TITLE);
        const std::wstring second = paths[1];
        auto text = std::make_shared<std::wstring>();
        job.work = [first, second, text](WorkProgress& progress, std::wstring& error) {
            return CompareFiles(first, second, progress, *text, error);
        };
        const std::wstring caption = FormatResString(IDS_TOOLS_COMPARE_CAPTION, {NameOf(first), NameOf(second)});
        job.afterwards = [caption, text](HWND windowOwner) { ShowCompareWindow(windowOwner, caption, *text); };
        break;
    }
    }
    return job;
}

}  // namespace

HRESULT StartToolCommand(ToolCommand command, const std::vector<std::wstring>& paths, HWND owner, bool quiet)
{
    // Each command's work is on the files it was offered for; a selection that offers it
    // not is refused before any work starts.
    const std::vector<ToolCommand> offered = ToolCommandsFor(paths);
    if (std::find(offered.begin(), offered.end(), command) == offered.end()) return E_INVALIDARG;
    // The make's values come from the user alone: without leave to ask, nothing is made.
    if (quiet && command == ToolCommand::kMakeDfu) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    return StartBackgroundWork(JobFor(command, paths, owner, quiet));
}

}  // namespace orrelin
