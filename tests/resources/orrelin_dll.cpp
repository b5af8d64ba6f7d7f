#include "orrelin_dll.h"

#include <vector>

#include "path.h"

namespace orrelin::test {

std::wstring OrrelinDllPath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return SplitPath(std::wstring(buffer.data(), length)).folder + L"Orrelin.dll";
        buffer.resize(buffer.size() * 2);
    }
}

UniqueModule LoadOrrelinResources()
{
    return UniqueModule(
        LoadLibraryExW(OrrelinDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

std::optional<std::string_view> ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name,
                                              std::optional<LANGID> language)
{
    HRSRC info = language ? FindResourceExW(module, type, name, *language) : FindResourceW(module, name, type);
    if (!info) return std::nullopt;
    HGLOBAL data = LoadResource(module, info);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes) return std::nullopt;
    return std::string_view(static_cast<const char*>(bytes), SizeofResource(module, info));
}

}  // namespace orrelin::test
