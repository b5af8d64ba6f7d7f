#include "tool_commands.h"

#include "KorvexTools.h"

#include <cstring>

#include "hresult.h"
#include "resource.h"
#include "string_table.h"

namespace orrelin {
namespace {

// Carries the engine's callbacks to a WorkProgress and collects its text.
struct Collected {
    WorkProgress* progress = nullptr;
    std::wstring text;
};

int KORVEX_CALL OnProgress(void* context, uint64_t done, uint64_t total)
{
    auto* collected = static_cast<Collected*>(context);
    if (collected->progress == nullptr) return 0;
    collected->progress->Report(done, total);
    return collected->progress->Cancelled() ? 1 : 0;
}

void KORVEX_CALL OnText(void* context, const wchar_t* text)
{
    auto* collected = static_cast<Collected*>(context);
    try {
        collected->text = text != nullptr ? text : L"";
    } catch (...) {
    }
}

HRESULT Answer(int code)
{
    switch (code) {
    case KORVEX_TOOLS_DONE:
        return S_OK;
    case KORVEX_TOOLS_CANCELLED:
        return HRESULT_FROM_WIN32(ERROR_CANCELLED);
    case KORVEX_TOOLS_INVALID:
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    case KORVEX_TOOLS_USAGE:
        return E_INVALIDARG;
    case KORVEX_TOOLS_NO_MEMORY:
        return E_OUTOFMEMORY;
    default:
        return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
}

std::wstring SystemText(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
    return result;
}

}  // namespace

HRESULT ExtractFirmware(const std::wstring& file, const ConfirmDamaged& confirm, WorkProgress& progress,
                        std::wstring& folder, std::wstring& error)
{
    progress.Describe(file);
    const std::size_t slash = file.find_last_of(L"\\/");
    const std::size_t dot = file.find_last_of(L'.');
    const std::wstring stem =
        dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash + 1) ? file.substr(0, dot) : file;

    Collected collected{&progress, {}};
    const KorvexToolsReport report{&collected, OnProgress, OnText};
    int code = KorvexExtractToFolder(file.c_str(), stem.c_str(), 0, &report);
    if (code == KORVEX_TOOLS_INVALID) {
        // Only a file whose suffix is there can be taken apart as a damaged one; the engine
        // refuses the others again below, with its reason.
        if (!confirm || !confirm(collected.text)) return HRESULT_FROM_WIN32(ERROR_CANCELLED);
        collected.text.clear();
        code =
            KorvexExtractToFolder(file.c_str(), FormatResString(IDS_TOOLS_DAMAGED_FOLDER, {stem}).c_str(), 1, &report);
    }
    if (code != KORVEX_TOOLS_DONE) {
        error = collected.text;
        return Answer(code);
    }
    folder = collected.text;
    return S_OK;
}

HRESULT HashFile(const std::wstring& file, WorkProgress& progress, std::wstring& digest, std::wstring& error)
{
    progress.Describe(file);
    Collected collected{&progress, {}};
    const KorvexToolsReport report{&collected, OnProgress, OnText};
    const int code = KorvexHashFile(file.c_str(), &report);
    if (code != KORVEX_TOOLS_DONE) {
        error = collected.text;
        return Answer(code);
    }
    digest = collected.text;
    return S_OK;
}

HRESULT PutOnClipboard(const std::wstring& text, std::wstring& error)
{
    // A window of this thread owns the clipboard while it is written: with none, the system
    // may refuse the data.
    const HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    BOOL opened = FALSE;
    // Another program may hold the clipboard for a moment.
    for (int attempt = 0; attempt < 20 && !(opened = OpenClipboard(owner)); ++attempt) Sleep(50);
    HRESULT result = S_OK;
    if (!opened) {
        result = HResultFromLastError();
    } else {
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        void* locked = memory != nullptr ? GlobalLock(memory) : nullptr;
        if (locked == nullptr) {
            result = E_OUTOFMEMORY;
        } else {
            std::memcpy(locked, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (!EmptyClipboard() || SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
                result = HResultFromLastError();
            } else {
                memory = nullptr;  // the clipboard owns it now
            }
        }
        if (memory != nullptr) GlobalFree(memory);
        CloseClipboard();
    }
    if (owner != nullptr) DestroyWindow(owner);
    if (FAILED(result)) error = FormatResString(IDS_TOOLS_CLIPBOARD_FAILED, {SystemText(static_cast<DWORD>(result))});
    return result;
}

HRESULT CompareFiles(const std::wstring& a, const std::wstring& b, WorkProgress& progress, std::wstring& text,
                     std::wstring& error)
{
    progress.Describe(a);
    Collected collected{&progress, {}};
    const KorvexToolsReport report{&collected, OnProgress, OnText};
    int same = 0;
    const int code = KorvexCompareFiles(a.c_str(), b.c_str(), &same, &report);
    if (code != KORVEX_TOOLS_DONE) {
        error = collected.text;
        return Answer(code);
    }
    text = collected.text;
    return S_OK;
}

}  // namespace orrelin
