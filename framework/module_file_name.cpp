#include "module_file_name.h"

#include <new>

#include "hresult.h"

namespace orrelin {

HRESULT GetModuleFileNameWhole(HMODULE module, std::wstring& name) noexcept
{
    name.clear();
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (length == 0) return HResultFromLastError();
    if (length >= MAX_PATH) return HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    try {
        name.assign(buffer, length);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace orrelin
