#include "orrelin_dll.h"

#include <vector>

namespace orrelin::test {

std::wstring OrrelinDllPath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Orrelin.dll";
        }
        buffer.resize(buffer.size() * 2);
    }
}

UniqueModule LoadOrrelinResources()
{
    return UniqueModule(LoadLibraryExW(OrrelinDllPath().c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

std::optional<std::string_view> ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name,
                                              std::optional<LANGID> language)
{
    HRSRC info = language ? FindResourceExW(module, type, name, *language)
                          : FindResourceW(module, name, type);
    if (!info)
        return std::nullopt;
    HGLOBAL data = LoadResource(module, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes)
        return std::nullopt;
    return std::string_view(static_cast<const char*>(bytes), SizeofResource(module, info));
}

}  // namespace orrelin::test
