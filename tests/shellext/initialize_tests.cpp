#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "fake_data_object.h"
#include "shell_object.h"

using orrelin::ComPtr;

namespace {

class InitializeTest : public ::testing::Test {
protected:
    void SetUp() override { object = NewShellObject(holder); }

    HRESULT InitializeWith(IDataObject* data) { return object->Initialize(nullptr, data, nullptr); }

    ComPtr<IUnknown> holder;
    DFUShellExt* object = nullptr;
};

TEST_F(InitializeTest, TakesTheOnlySelectedFile)
{
    FakeDataObject data({L"C:\\fw\\update.dfu"});
    EXPECT_EQ(S_OK, InitializeWith(&data));
    EXPECT_EQ(L"C:\\fw\\update.dfu", object->SelectedFilePath());
    // The drop list is asked for as the shell delivers it.
    EXPECT_EQ(CF_HDROP, data.lastFormat.cfFormat);
    EXPECT_EQ(nullptr, data.lastFormat.ptd);
    EXPECT_EQ(static_cast<DWORD>(DVASPECT_CONTENT), data.lastFormat.dwAspect);
    EXPECT_EQ(-1, data.lastFormat.lindex);
    EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), data.lastFormat.tymed);
    EXPECT_EQ(1, data.mediumOwner.releases);
    EXPECT_EQ(1, data.references());
}

TEST_F(InitializeTest, RefusesAnythingButExactlyOneFileAndKeepsThePath)
{
    ASSERT_EQ(S_OK, object->Load(L"C:\\kept.dfu", STGM_READ));
    struct Row {
        const char* name;
        std::vector<std::wstring> paths;
        HRESULT failure;
        bool unlockable;
        bool filledOnFailure;
    } const rows[] = {
        {"no file", {}, S_OK, false, false},
        {"two files", {L"C:\\a.dfu", L"C:\\b.dfu"}, S_OK, false, false},
        {"GetData fails", {L"C:\\a.dfu"}, DV_E_FORMATETC, false, false},
        // What a failing data object wrote is still its own.
        {"GetData fills the medium and fails", {L"C:\\a.dfu"}, E_OUTOFMEMORY, false, true},
        {"memory cannot be locked", {L"C:\\a.dfu"}, S_OK, true, false},
    };
    for (const auto& row : rows) {
        FakeDataObject data(row.paths);
        data.failure = row.failure;
        data.fillMediumOnFailure = row.filledOnFailure;
        data.unlockableMemory = row.unlockable;
        EXPECT_EQ(E_INVALIDARG, InitializeWith(&data)) << row.name;
        EXPECT_EQ(L"C:\\kept.dfu", object->SelectedFilePath()) << row.name;
        // The medium, once obtained, is released on every path.
        const int obtained = FAILED(row.failure) ? 0 : 1;
        EXPECT_EQ(obtained, data.mediumOwner.releases) << row.name;
        EXPECT_EQ(1, data.references()) << row.name;
    }
    EXPECT_EQ(E_INVALIDARG, InitializeWith(nullptr));
    EXPECT_EQ(L"C:\\kept.dfu", object->SelectedFilePath());
}

TEST_F(InitializeTest, KeepsAPathLongerThan259CharactersWhole)
{
    std::wstring path = L"C:\\";
    while (path.size() < 400) path += L"very long folder name\\";
    path += L"firmware.dfu";
    FakeDataObject data({path});
    EXPECT_EQ(S_OK, InitializeWith(&data));
    EXPECT_EQ(path, object->SelectedFilePath());
}

TEST_F(InitializeTest, TheLaterOfLoadAndInitializeWins)
{
    FakeDataObject data({L"C:\\from\\selection.dfu"});
    ASSERT_EQ(S_OK, object->Load(L"C:\\from\\load.dfu", STGM_READ));
    ASSERT_EQ(S_OK, InitializeWith(&data));
    EXPECT_EQ(L"C:\\from\\selection.dfu", object->SelectedFilePath());
    ASSERT_EQ(S_OK, object->Load(L"C:\\from\\load.dfu", STGM_READWRITE | STGM_SHARE_EXCLUSIVE));
    EXPECT_EQ(L"C:\\from\\load.dfu", object->SelectedFilePath());
    ASSERT_EQ(S_OK, object->Load(nullptr, 0));
    EXPECT_EQ(L"", object->SelectedFilePath());
}

TEST_F(InitializeTest, AcceptsTheShellsOwnDataObject)
{
    const std::wstring path =
        TemporaryFolder() + L"orrelin selection test " + std::to_wstring(GetCurrentProcessId()) + L".dfu";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPtr<IShellFolder> desktop;
        ASSERT_EQ(S_OK, SHGetDesktopFolder(desktop.put()));
        PIDLIST_RELATIVE absolute = nullptr;
        ASSERT_EQ(S_OK, desktop->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(path.c_str()), nullptr,
                                                  &absolute, nullptr));
        ComPtr<IShellFolder> parent;
        PCUITEMID_CHILD child = nullptr;
        ASSERT_EQ(S_OK, SHBindToParent(reinterpret_cast<PCIDLIST_ABSOLUTE>(absolute), IID_IShellFolder,
                                       parent.put_void(), &child));
        ComPtr<IDataObject> data;
        ASSERT_EQ(S_OK, parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, data.put_void()));
        EXPECT_EQ(S_OK, InitializeWith(data.get()));
        CoTaskMemFree(absolute);
    }
    CoUninitialize();
    EXPECT_EQ(0, lstrcmpiW(path.c_str(), object->SelectedFilePath().c_str())) << Narrow(object->SelectedFilePath());
    DeleteFileW(path.c_str());
}

}  // namespace
