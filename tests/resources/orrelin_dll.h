// Access to the built Orrelin.dll for tests that read its resources.
#ifndef ORRELIN_TESTS_RESOURCES_ORRELIN_DLL_H
#define ORRELIN_TESTS_RESOURCES_ORRELIN_DLL_H

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace orrelin::test {

struct ModuleFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFree>;

// Orrelin.dll lies beside this test program, as the build puts both in one folder.
std::wstring OrrelinDllPath();

// Maps the library as an image resource only: its imports (the engine) are not resolved
// and DllMain does not run, so the resources can be read without Korvex.dll.
UniqueModule LoadOrrelinResources();

// The bytes of a resource in the given language (any language when none is given);
// nothing when the library has no such resource.
std::optional<std::string_view> ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name,
                                              std::optional<LANGID> language = std::nullopt);

}  // namespace orrelin::test

#endif
