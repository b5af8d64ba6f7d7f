#include "handler_registration.h"

#include <propsys.h>

#include <string>

#include "class_entry.h"
#include "hresult.h"
#include "module_file_name.h"
#include "module_state.h"
#include "path.h"

namespace orrelin {

const wchar_t kDfuPropertyHandlerKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\.dfu";

namespace {

constexpr wchar_t kSchemaFile[] = L"Orrelin.propdesc";

HRESULT SchemaPath(std::wstring& path) noexcept
{
    return GuardComBoundary([&] {
        std::wstring module;
        RETURN_IF_FAILED(GetModuleFileNameWhole(ThisModule(), module));
        path = SplitPath(module).folder + kSchemaFile;
        return S_OK;
    });
}

}  // namespace

HRESULT RegisterPropertyHandlerEntry(REFCLSID classId) noexcept
{
    return ClaimClassEntry(HKEY_LOCAL_MACHINE, kDfuPropertyHandlerKey, classId);
}

HRESULT UnregisterPropertyHandlerEntry(REFCLSID classId) noexcept
{
    return ReleaseClassEntry(HKEY_LOCAL_MACHINE, kDfuPropertyHandlerKey, classId);
}

HRESULT RegisterPropertySchema() noexcept
{
    std::wstring path;
    RETURN_IF_FAILED(SchemaPath(path));
    // Checked first, so that a missing file answers as such.
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return HResultFromLastError();
    return PSRegisterPropertySchema(path.c_str());
}

HRESULT UnregisterPropertySchema() noexcept
{
    std::wstring path;
    RETURN_IF_FAILED(SchemaPath(path));
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return S_OK;
    const HRESULT hr = PSUnregisterPropertySchema(path.c_str());
    // A property system that cannot unregister schemas (Wine's) cannot have kept ours.
    return hr == E_NOTIMPL ? S_OK : hr;
}

}  // namespace orrelin
