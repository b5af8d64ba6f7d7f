// Orrelin.dll beside the engine's test double, which answers at once: what remains is the
// extension's own time. The DLL is loaded from this program's folder and its class reached
// through DllGetClassObject, so nothing needs to be registered, and its registration
// exports are timed as a round trip.
//
//   orrelin_shell_bench_double [--header] FILE.dfu
//
// Prints one table row: the info tip; the right-click with 0, 8 and 64 download targets
// (half serial ports, half USB devices, plus the default entry), every help text included;
// and DllRegisterServer + DllUnregisterServer. Medians of repeated runs.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "KorvexDouble.h"
#include "module_file_name.h"
#include "Orrelin_i.h"
#include "bench_stats.h"
#include "win_bench_support.h"

using namespace orrelin::bench;
using orrelin::ComPtr;

namespace {

constexpr wchar_t kTargetName[] = L"Orrelin bench target";
constexpr int kRuns = 201;
constexpr int kRegistrationRuns = 21;

void SetTargets(int count)
{
    std::vector<std::wstring> ports, devices;
    for (int i = 0; i < count / 2; ++i) {
        ports.push_back(L"COM" + std::to_wstring(i + 1));
        devices.push_back(L"DFU in FS Mode #" + std::to_wstring(i + 1));
    }
    std::vector<const wchar_t*> portNames, deviceNames;
    for (const auto& name : ports) portNames.push_back(name.c_str());
    for (const auto& name : devices) deviceNames.push_back(name.c_str());
    KorvexDouble_SetPorts(portNames.data(), static_cast<int>(portNames.size()));
    KorvexDouble_SetDevices(deviceNames.data(), static_cast<int>(deviceNames.size()));
}

// A function of the DLL by name, as the given type; null when it does not export it.
template <class Function>
Function Export(HMODULE library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

template <class Interface>
void CreateHandler(IClassFactory* factory, REFIID iid, ComPtr<Interface>& handler)
{
    FailIfFailed(factory->CreateInstance(nullptr, iid, handler.put_void()), "IClassFactory::CreateInstance");
}

double MedianHover(IClassFactory* factory, const std::wstring& path)
{
    std::vector<double> times;
    for (int run = 0; run <= kRuns; ++run) {
        ComPtr<IPersistFile> handler;
        CreateHandler(factory, IID_IPersistFile, handler);
        const double seconds = Hover(handler.get(), path, kTargetName);
        if (run > 0) times.push_back(seconds);
    }
    return Median(times);
}

double MedianRightClick(IClassFactory* factory, IDataObject* selection, int targets)
{
    SetTargets(targets);
    std::vector<double> times;
    for (int run = 0; run <= kRuns; ++run) {
        ComPtr<IShellExtInit> handler;
        CreateHandler(factory, IID_IShellExtInit, handler);
        const MenuRun menu = RightClick(handler.get(), selection);
        if (menu.entries != static_cast<UINT>(targets + 1)) Fail("%d targets gave %u entries", targets, menu.entries);
        if (run > 0) times.push_back(menu.seconds);
    }
    return Median(times);
}

// The class's server as the registry names it; empty when the class is not registered.
std::wstring RegisteredServer()
{
    wchar_t classId[40];
    StringFromGUID2(CLSID_DFUShellExt, classId, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + classId + L"\\InprocServer32";
    wchar_t value[MAX_PATH * 2];
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return std::wstring();
    return value;
}

double MedianRegistrationRoundTrip(HMODULE library)
{
    using Registration = HRESULT(STDAPICALLTYPE*)();
    const auto registerServer = Export<Registration>(library, "DllRegisterServer");
    const auto unregisterServer = Export<Registration>(library, "DllUnregisterServer");
    if (registerServer == nullptr || unregisterServer == nullptr) Fail("Orrelin.dll lacks its registration exports");
    if (!RegisteredServer().empty()) Fail("the class is already registered; unregister it first");

    std::wstring module;
    FailIfFailed(orrelin::GetModuleFileNameWhole(library, module), "GetModuleFileNameW");
    std::vector<double> times;
    for (int run = 0; run <= kRegistrationRuns; ++run) {
        const double start = Seconds();
        const HRESULT registered = registerServer();
        const double registering = Seconds() - start;
        FailIfFailed(registered, "DllRegisterServer");
        // Outside the timed calls: the class must name this very DLL as its server.
        if (lstrcmpiW(RegisteredServer().c_str(), module.c_str()) != 0) Fail("registration does not name this DLL");
        const double middle = Seconds();
        const HRESULT unregistered = unregisterServer();
        const double unregistering = Seconds() - middle;
        FailIfFailed(unregistered, "DllUnregisterServer");
        if (!RegisteredServer().empty()) Fail("unregistration left the class registered");
        if (run > 0) times.push_back(registering + unregistering);
    }
    return Median(times);
}

void PrintHeader()
{
    std::printf(
        "| arch | runs (round trips) | info tip | right-click, 0 targets | 8 targets | 64 targets | "
        "DllRegisterServer + DllUnregisterServer |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    if (argc > 1 && std::wstring(argv[1]) == L"--header") {
        PrintHeader();
        ++first;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: orrelin_shell_bench_double [--header] FILE.dfu\n");
        return 2;
    }
    const std::wstring path = argv[first];
    FailIfFailed(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");

    // The file exists and is opened by the extension itself, but the double never reads it.
    KorvexDouble_Reset();
    KorvexDouble_SetComment(kTargetName);
    KorvexDouble_SetNumbers(0x0483, 0xDF11, 0x2200);

    const std::wstring dll = ProgramFolder() + L"Orrelin.dll";
    HMODULE library = LoadLibraryW(dll.c_str());
    if (library == nullptr) Fail("cannot load %s (%lu)", Narrow(dll).c_str(), GetLastError());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject = Export<GetClassObject>(library, "DllGetClassObject");
    if (getClassObject == nullptr) Fail("Orrelin.dll lacks DllGetClassObject");
    ComPtr<IClassFactory> factory;
    FailIfFailed(getClassObject(CLSID_DFUShellExt, IID_IClassFactory, factory.put_void()), "DllGetClassObject");

    ComPtr<IDataObject> selection;
    SelectionDataObject(path, reinterpret_cast<IDataObject**>(selection.put_void()));

    const double hover = MedianHover(factory.get(), path);
    const double none = MedianRightClick(factory.get(), selection.get(), 0);
    const double eight = MedianRightClick(factory.get(), selection.get(), 8);
    const double many = MedianRightClick(factory.get(), selection.get(), 64);
    const double registration = MedianRegistrationRoundTrip(library);

    std::printf("| %s | %d (%d) | %s ms | %s ms | %s ms | %s ms | %s ms |\n", ArchName(), kRuns, kRegistrationRuns,
                Milliseconds(hover).c_str(), Milliseconds(none).c_str(), Milliseconds(eight).c_str(),
                Milliseconds(many).c_str(), Milliseconds(registration).c_str());
    selection.reset();
    factory.reset();
    CoUninitialize();
    return 0;
}
