#include <windows.h>

#include <gtest/gtest.h>

#include "KorvexSeams.h"
#include "fake_attributes.h"
#include "shell_object.h"

using orrelin::ComPtr;
using orrelin::test::ProgramFolder;
using orrelin::test::ProgramPath;

namespace {

// The real engine on a file that dfu-suffix wrote with -v 0483 -p df11 -d 2200.
TEST(InfoTipWithEngine, ShowsTheNumbersDfuSuffixWrote)
{
    ComPtr<IUnknown> holder;
    DFUShellExt* object = NewShellObject(holder);
    ASSERT_EQ(S_OK, object->Load((ProgramFolder() + L"infotip-sample.dfu").c_str(), STGM_READ));
    WCHAR* tip = nullptr;
    ASSERT_EQ(S_OK, object->GetInfoTip(0, &tip));
    const std::wstring text = tip;
    CoTaskMemFree(tip);
    EXPECT_EQ(0u, text.find(L"Device Firmware Upgrade (DFU) file\n\nFile: \t\t")) << Narrow(text);
    const size_t numbers = text.find(L"\nVendor ID: ");
    ASSERT_NE(std::wstring::npos, numbers) << Narrow(text);
    EXPECT_EQ(L"\nVendor ID: \t0x0483\nProduct ID: \t0xDF11\nRelease: \t2200", text.substr(numbers));
}

TEST(InfoTipWithEngine, RejectsAFileWithoutSuffix)
{
    ComPtr<IUnknown> holder;
    DFUShellExt* object = NewShellObject(holder);
    ASSERT_EQ(S_OK, object->Load(ProgramPath().c_str(), STGM_READ));
    WCHAR* tip = nullptr;
    EXPECT_EQ(E_FAIL, object->GetInfoTip(0, &tip));
    EXPECT_EQ(nullptr, tip);
}

// A file that is not on this device: the engine reads nothing of it and does not accept it,
// so Explorer shows its own tip and the menu gets no download entries. The same file here
// gets both.
TEST(InfoTipWithEngine, LeavesAFileThatIsNotHereToExplorer)
{
    using Fake = orrelin::test::FakeAttributes<wchar_t>;
    const struct {
        std::uint32_t attributes;
        bool accepted;
    } rows[] = {{orrelin::test::kArchive, true},
                {orrelin::test::kRecallOnDataAccess, false},
                {orrelin::test::kRecallOnOpen, false},
                {orrelin::test::kOffline, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.attributes);
        const Fake fake(&KorvexReplaceAttributeQuery, row.attributes);
        ComPtr<IUnknown> holder;
        DFUShellExt* object = NewShellObject(holder);
        ASSERT_EQ(S_OK, object->Load((ProgramFolder() + L"infotip-sample.dfu").c_str(), STGM_READ));
        WCHAR* tip = nullptr;
        EXPECT_EQ(row.accepted ? S_OK : E_FAIL, object->GetInfoTip(0, &tip));
        EXPECT_EQ(row.accepted, tip != nullptr);
        CoTaskMemFree(tip);
        HMENU menu = CreatePopupMenu();
        const HRESULT hr = object->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL);
        EXPECT_EQ(row.accepted, HRESULT_CODE(hr) > 0);
        EXPECT_EQ(row.accepted, GetMenuItemCount(menu) > 0);
        DestroyMenu(menu);
        EXPECT_EQ(2, Fake::Queries());
    }
}

}  // namespace
