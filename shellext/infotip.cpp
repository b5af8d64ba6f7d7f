#include "infotip.h"

#include <shlobj.h>

#include <ctime>
#include <cwchar>

#include "Korvex.h"
#include "KorvexLayout.h"
#include "handles.h"
#include "resource.h"
#include "shared_read_file.h"
#include "string_table.h"

namespace orrelin {

std::wstring InfoTipDate(__time64_t modified)
{
    std::tm local = {};
    if (_localtime64_s(&local, &modified) != 0) return std::wstring();
    wchar_t buffer[128];
    const size_t length = wcsftime(buffer, 128, LoadResString(IDS_INFOTIP_DATE_FORMAT).c_str(), &local);
    return std::wstring(buffer, length);
}

HRESULT WriteInfoTip(const std::wstring& path, wchar_t** out)
{
    CStringX comment;
    // Not stated, unless the engine says otherwise.
    unsigned int vendor = KORVEX_NOT_STATED, product = KORVEX_NOT_STATED, release = KORVEX_NOT_STATED;
    if (!Korvex::IsDFUFileValid(path.c_str(), comment, vendor, product, release)) return E_FAIL;

    std::wstring tip = LoadResString(comment.IsEmpty() ? IDS_INFOTIP_HEADER : IDS_INFOTIP_HEADER_WITH_COMMENT);

    SharedReadFile file;
    if (!file.Open(path)) return E_FAIL;
    FileStatus status;
    if (!file.GetStatus(status)) return E_FAIL;

    tip += FormatResString(IDS_INFOTIP_DETAILS, {file.GetFileTitle(), status.length, InfoTipDate(status.modified)});
    if (vendor != KORVEX_NOT_STATED) tip += FormatResString(IDS_INFOTIP_VENDOR, {vendor});
    if (product != KORVEX_NOT_STATED) tip += FormatResString(IDS_INFOTIP_PRODUCT, {product});
    if (release != KORVEX_NOT_STATED) tip += FormatResString(IDS_INFOTIP_RELEASE, {release});
    if (!comment.IsEmpty()) tip += FormatResString(IDS_INFOTIP_COMMENT, {static_cast<const wchar_t*>(comment)});

    return CopyToShellMemory(tip, out);
}

HRESULT CopyToShellMemory(const std::wstring& text, wchar_t** out)
{
    ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.put()))) return E_FAIL;
    auto* block = static_cast<wchar_t*>(allocator->Alloc((text.size() + 1) * sizeof(wchar_t)));
    if (block == nullptr) return E_OUTOFMEMORY;
    wmemcpy(block, text.c_str(), text.size() + 1);
    *out = block;
    return S_OK;
}

}  // namespace orrelin
