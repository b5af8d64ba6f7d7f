// Explorer loads an extension, uses it and frees it when DllCanUnloadNow allows, again and
// again over one session. Here a thousand such rounds run in one process over Orrelin.dll
// and as many over a server that does nothing: afterwards the free thread slots and the
// loaded modules are where they started, and what a round of ours leaves behind in memory
// stays within a kilobyte of what a round of the do-nothing server leaves.
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "KorvexDouble.h"
#include "Orrelin_i.h"
#include "handles.h"
#include "registered_library.h"

using orrelin::ComPtr;
using orrelin::test::ProgramFolder;

namespace {

// Rounds before the counted ones, so that what a process sets up once is not counted.
constexpr int kWarmUpRounds = 50;
constexpr int kRounds = 1000;
constexpr double kAllowedBytesPerRound = 1024.0;

template <typename Fn>
Fn ProcAs(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// What the shell hands an object: a file to describe and a selection to build a menu for.
struct ShellInput {
    std::wstring file;
    IDataObject* selection = nullptr;
    HWND pane = nullptr;  // the preview pane's window
};

// A hover over the file and a right-click on it.
void ShowTipAndMenu(IUnknown* object, const ShellInput& input)
{
    ComPtr<IPersistFile> file;
    ComPtr<IQueryInfo> info;
    ComPtr<IShellExtInit> init;
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IPersistFile, file.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IQueryInfo, info.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IShellExtInit, init.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IContextMenu, menu.put_void()));

    ASSERT_EQ(S_OK, file->Load(input.file.c_str(), STGM_READ));
    wchar_t* tip = nullptr;
    ASSERT_EQ(S_OK, info->GetInfoTip(0, &tip));
    const orrelin::UniqueCoTaskMemory tipOwner(tip);

    ASSERT_EQ(S_OK, init->Initialize(nullptr, input.selection, nullptr));
    const std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)> popup(CreatePopupMenu(), &DestroyMenu);
    // The default entry, two serial ports and two USB devices.
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 5), menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_NORMAL));
}

// A look at the file in the preview pane: stream, window, picture, unload.
void ShowPreview(IUnknown* object, const ShellInput& input)
{
    ComPtr<IPreviewHandler> preview;
    ComPtr<IInitializeWithStream> initialize;
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IPreviewHandler, preview.put_void()));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IInitializeWithStream, initialize.put_void()));
    ASSERT_EQ(S_OK, SHCreateStreamOnFileEx(input.file.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()));
    ASSERT_EQ(S_OK, initialize->Initialize(stream.get(), STGM_READ));
    const RECT rect = {0, 0, 200, 300};
    ASSERT_EQ(S_OK, preview->SetWindow(input.pane, &rect));
    ASSERT_EQ(S_OK, preview->DoPreview());
    EXPECT_NE(nullptr, GetWindow(input.pane, GW_CHILD));
    ASSERT_EQ(S_OK, preview->Unload());
}

// {53F3489E-272A-4AF7-9F97-48656F7992E6}
const CLSID kPreviewHandler = {0x53F3489E, 0x272A, 0x4AF7, {0x9F, 0x97, 0x48, 0x65, 0x6F, 0x79, 0x92, 0xE6}};

// The classes of Orrelin.dll's object map, each with what a host does with its objects.
struct ServedClass {
    const char* name;
    const CLSID* classId;
    void (*use)(IUnknown* object, const ShellInput& input);
};
const ServedClass kClasses[] = {
    {"DFUShellExt", &CLSID_DFUShellExt, ShowTipAndMenu},
    {"DFUPreviewHandler", &kPreviewHandler, ShowPreview},
};

// One round as a host makes it: load, each class's factory and an object used as the host
// uses it, then free once DllCanUnloadNow allows. The do-nothing server serves no class.
void Round(const std::wstring& path, bool servesClasses, const ShellInput& input)
{
    orrelin::UniqueModule library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    ASSERT_TRUE(library) << GetLastError();
    const auto getClassObject =
        ProcAs<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(library.get(), "DllGetClassObject");
    const auto canUnloadNow = ProcAs<HRESULT(STDAPICALLTYPE*)()>(library.get(), "DllCanUnloadNow");
    ASSERT_NE(nullptr, getClassObject);
    ASSERT_NE(nullptr, canUnloadNow);
    for (const ServedClass& served : kClasses) {
        ComPtr<IClassFactory> factory;
        const HRESULT found = getClassObject(*served.classId, IID_IClassFactory, factory.put_void());
        if (!servesClasses) {
            EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, found) << served.name;
            continue;
        }
        ASSERT_EQ(S_OK, found) << served.name;
        ComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.put_void())) << served.name;
        served.use(object.get(), input);
    }
    EXPECT_EQ(S_OK, canUnloadNow());
    library.reset();
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str())) << "the library stayed loaded";
}

void Rounds(int count, const std::wstring& path, bool servesClasses, const ShellInput& input)
{
    for (int round = 0; round < count && !::testing::Test::HasFailure(); ++round) Round(path, servesClasses, input);
}

// The process's private memory plus its working set, in bytes.
double MemoryInUse()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                     sizeof(counters)));
    return static_cast<double>(counters.PrivateUsage) + static_cast<double>(counters.WorkingSetSize);
}

double GrowthPerRound(const std::wstring& path, bool servesClasses, const ShellInput& input)
{
    const double before = MemoryInUse();
    Rounds(kRounds, path, servesClasses, input);
    return (MemoryInUse() - before) / kRounds;
}

// The process's free thread slots, counted by taking them all and giving them back.
int FreeThreadSlots()
{
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
    for (const DWORD slot : taken) TlsFree(slot);
    return static_cast<int>(taken.size());
}

std::vector<HMODULE> LoadedModules()
{
    std::vector<HMODULE> modules(1024);
    DWORD bytes = 0;
    EXPECT_TRUE(EnumProcessModules(GetCurrentProcess(), modules.data(),
                                   static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &bytes));
    modules.resize(bytes / sizeof(HMODULE));
    std::sort(modules.begin(), modules.end());
    return modules;
}

class SoakInput {
public:
    SoakInput()
    {
        m_input.file = ProgramFolder() + L"soak.dfu";
        const orrelin::UniqueFileHandle file(
            CreateFileW(m_input.file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_TRUE(file);
        // The shell's own data object for the file, as Explorer hands it to menu handlers.
        PIDLIST_ABSOLUTE item = nullptr;
        EXPECT_EQ(S_OK, SHParseDisplayName(m_input.file.c_str(), nullptr, &item, 0, nullptr));
        const orrelin::UniqueCoTaskMemory itemOwner(item);
        ComPtr<IShellFolder> parent;
        PCUITEMID_CHILD child = nullptr;
        if (item != nullptr && SHBindToParent(item, IID_IShellFolder, parent.put_void(), &child) == S_OK)
            parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, m_selection.put_void());
        EXPECT_TRUE(m_selection);
        m_input.selection = m_selection.get();
        m_pane.reset(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"pane", WS_POPUP | WS_VISIBLE, 0, 0, 200, 300,
                                     nullptr, nullptr, nullptr, nullptr));
        EXPECT_TRUE(m_pane);
        m_input.pane = m_pane.get();
    }
    ~SoakInput() { DeleteFileW(m_input.file.c_str()); }
    SoakInput(const SoakInput&) = delete;
    SoakInput& operator=(const SoakInput&) = delete;

    const ShellInput& get() const { return m_input; }

private:
    ComPtr<IDataObject> m_selection;
    orrelin::UniqueWindow m_pane;
    ShellInput m_input;
};

TEST(LifetimeSoak, EveryRoundGivesBackWhatItTook)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const wchar_t* const ports[] = {L"COM3", L"COM7"};
    const wchar_t* const devices[] = {L"DFU in FS Mode", L"DFU in HS Mode"};
    KorvexDouble_Reset();
    KorvexDouble_SetPorts(ports, 2);
    KorvexDouble_SetDevices(devices, 2);
    const std::wstring ours = ProgramFolder() + L"Orrelin.dll";
    const std::wstring control = ProgramFolder() + L"ControlServer.dll";
    {
        const SoakInput input;
        ASSERT_FALSE(::testing::Test::HasFailure());

        // The modules a host has loaded anyway (Explorer has the shell and COM in use) stay
        // loaded, so the rounds measure the two DLLs themselves.
        orrelin::UniqueModule first(LoadLibraryExW(ours.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
        ASSERT_TRUE(first);
        std::vector<orrelin::UniqueModule> held;
        for (const HMODULE module : LoadedModules()) {
            HMODULE reference = nullptr;
            if (module != first.get() && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                                            reinterpret_cast<LPCWSTR>(module), &reference))
                held.emplace_back(reference);
        }
        first.reset();

        Rounds(kWarmUpRounds, control, false, input.get());
        Rounds(kWarmUpRounds, ours, true, input.get());
        ASSERT_FALSE(::testing::Test::HasFailure());
        const int slots = FreeThreadSlots();
        const std::vector<HMODULE> modules = LoadedModules();

        const double controlGrowth = GrowthPerRound(control, false, input.get());
        const double ourGrowth = GrowthPerRound(ours, true, input.get());
        std::printf("memory per round over %d rounds: Orrelin.dll %.2f KB, do-nothing server %.2f KB\n", kRounds,
                    ourGrowth / 1024.0, controlGrowth / 1024.0);
        EXPECT_LE(ourGrowth, controlGrowth + kAllowedBytesPerRound);
        EXPECT_EQ(slots, FreeThreadSlots());
        EXPECT_EQ(modules, LoadedModules());
    }
    CoUninitialize();
}

}  // namespace
