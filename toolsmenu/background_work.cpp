#include "background_work.h"

#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

#include "handles.h"
#include "hresult.h"
#include "module.h"
#include "module_state.h"
#include "resource.h"
#include "string_table.h"

namespace orrelin {
namespace {

// The shell's progress dialog as the work sees it; without one (no UI asked, or none could be
// created) progress goes nowhere and the work cannot be cancelled.
class DialogProgress final : public WorkProgress {
public:
    explicit DialogProgress(IProgressDialog* dialog) : m_dialog(dialog) {}
    void Report(std::uint64_t done, std::uint64_t total) override
    {
        if (m_dialog != nullptr) m_dialog->SetProgress64(done, total > 0 ? total : 1);
    }
    void Describe(const std::wstring& line) override
    {
        if (m_dialog != nullptr) m_dialog->SetLine(2, line.c_str(), TRUE, nullptr);
    }
    bool Cancelled() override { return m_dialog != nullptr && m_dialog->HasUserCancelled(); }

private:
    IProgressDialog* m_dialog;
};

struct Running {
    BackgroundJob job;
    HMODULE self = nullptr;
};

void RunJob(BackgroundJob& job)
{
    ModuleStateGuard guard;
    if (job.before && !job.before(job.owner)) return;
    ComPtr<IProgressDialog> dialog;
    if (!job.quiet && SUCCEEDED(CoCreateInstance(CLSID_ProgressDialog, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IProgressDialog, dialog.put_void()))) {
        dialog->SetTitle(job.title.c_str());
        if (FAILED(dialog->StartProgressDialog(job.owner, nullptr, PROGDLG_NORMAL | PROGDLG_AUTOTIME, nullptr)))
            dialog.reset();
    }
    DialogProgress progress(dialog.get());
    std::wstring error;
    HRESULT result = E_FAIL;
    try {
        result = job.work(progress, error);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
    } catch (...) {
        result = E_FAIL;
    }
    if (dialog) dialog->StopProgressDialog();
    dialog.reset();

    if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return;
    if (FAILED(result)) {
        if (job.quiet) return;
        if (error.empty()) error = result == E_OUTOFMEMORY ? LoadResString(IDS_TOOLS_NO_MEMORY) : L"";
        MessageBoxW(job.owner, FormatResString(IDS_TOOLS_FAILED, {job.title, error}).c_str(), job.title.c_str(),
                    MB_OK | MB_ICONERROR);
        return;
    }
    if (job.afterwards) job.afterwards(job.owner);
}

DWORD WINAPI WorkThread(void* parameter)
{
    std::unique_ptr<Running> running(static_cast<Running*>(parameter));
    const HMODULE self = running->self;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
        RunJob(running->job);
    } catch (...) {
    }
    running.reset();
    if (SUCCEEDED(com)) CoUninitialize();
    g_currentModule->Unlock();
    // Our own code runs until the very last instruction: the reference taken at the start
    // is given back by the system call that also ends the thread.
    FreeLibraryAndExitThread(self, 0);
}

}  // namespace

HRESULT StartBackgroundWork(BackgroundJob job)
{
    auto running = std::make_unique<Running>();
    running->job = std::move(job);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WorkThread),
                            &running->self))
        return HResultFromLastError();
    g_currentModule->Lock();
    const HANDLE thread = CreateThread(nullptr, 0, WorkThread, running.get(), 0, nullptr);
    if (thread == nullptr) {
        const HRESULT result = HResultFromLastError();
        g_currentModule->Unlock();
        FreeLibrary(running->self);
        return result;
    }
    running.release();
    CloseHandle(thread);
    return S_OK;
}

}  // namespace orrelin
