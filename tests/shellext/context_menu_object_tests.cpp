// The download menu through the shell extension object's own faces, as a shell drives it.
#include <gtest/gtest.h>

#include <cstring>

#include "DFUShellExt.h"
#include "handles.h"
#include "menu_test_support.h"

using namespace menutest;
using orrelin::ComPtr;

namespace {

class ContextMenuObject : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_EQ(S_OK, DFUShellExt::CreateInstance(nullptr, IID_IContextMenu, menu.put_void()));
        ComPtr<IPersistFile> file;
        ASSERT_EQ(S_OK, menu->QueryInterface(IID_IPersistFile, file.put_void()));
        ASSERT_EQ(S_OK, file->Load(L"C:\\My Files\\a.dfu", 0));
        KorvexDouble_SetComment(L"Boot loader");
        SetPorts({L"COM1", L"COM2"});
        SetDevices({L"Halvorn DFU"});
    }
    HRESULT Invoke(LPCSTR verb)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = verb;
        return menu->InvokeCommand(&info);
    }

    ComPtr<IContextMenu> menu;
};

TEST_F(ContextMenuObject, EntriesHelpTextsAndLaunchAgree)
{
    WizardRecord record;
    PopupMenu popup(1);
    ASSERT_EQ(4, menu->QueryContextMenu(popup.get(), 1, 200, 300, CMF_NORMAL));
    ASSERT_EQ(5, GetMenuItemCount(popup.get()));

    wchar_t help[200] = {};
    ASSERT_EQ(S_OK, menu->GetCommandString(2, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(help), 200));
    EXPECT_STREQ(L"Download 'Boot loader' via COM2 using the Halvorn Device Firmware Upgrade Wizard", help);
    // No verb: Explorer finds a chosen entry on its second menu by itself.
    for (UINT verbRequest : {UINT{GCS_VERBW}, UINT{GCS_VERBICONW}, UINT{GCS_VERBA}})
        EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(2, verbRequest, nullptr, reinterpret_cast<char*>(help), 200));

    ASSERT_EQ(S_OK, Invoke(MAKEINTRESOURCEA(2)));
    const std::vector<WizardStart> starts = record.WaitFor(1);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ((std::vector<std::wstring>{WizardBesideProgram(), L"/serial", L"COM2", L"/download",
                                         L"C:\\My Files\\a.dfu", L"/auto"}),
              ParseArguments(starts[0].commandLine));

    // A later call that adds nothing leaves nothing to ask about or choose.
    ASSERT_EQ(0, menu->QueryContextMenu(popup.get(), 0, 200, 300, CMF_DEFAULTONLY));
    EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(help), 200));
    EXPECT_EQ(E_INVALIDARG, Invoke(MAKEINTRESOURCEA(0)));
}

// A verb string at an address whose low 16 bits are zero is still a verb string; in a
// 64-bit host an address whose low 32 bits are all zero must not pass for offset 0.
TEST_F(ContextMenuObject, VerbStringAtAlignedAddressStartsNothing)
{
    PopupMenu popup;
    ASSERT_EQ(4, menu->QueryContextMenu(popup.get(), 0, 1, 100, CMF_NORMAL));
    char* page = nullptr;
#ifdef _WIN64
    for (ULONG_PTR gib4 = 1; page == nullptr && gib4 < 4096; ++gib4)
        page = static_cast<char*>(
            VirtualAlloc(reinterpret_cast<void*>(gib4 << 32), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, page);
    ASSERT_EQ(0u, reinterpret_cast<ULONG_PTR>(page) & 0xFFFFFFFFu);
#else
    page = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, page);
    ASSERT_EQ(0u, reinterpret_cast<ULONG_PTR>(page) & 0xFFFFu);
#endif
    std::memcpy(page, "open", 5);
    const DWORD before = ProcessesStarted();
    EXPECT_EQ(E_INVALIDARG, Invoke(page));
    EXPECT_EQ(before, ProcessesStarted());
    VirtualFree(page, 0, MEM_RELEASE);
}

}  // namespace
