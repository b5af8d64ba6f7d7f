#include <windows.h>
#include <propsys.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registered_library.h"
#include "handles.h"
#include "propdesc_schema.h"
#include "test_stream.h"
#include "fake_attributes.h"
#include "KorvexSeams.h"

using orrelin::ComPtr;
using orrelin::UniqueHandle;

using orrelin::test::ProgramFolder;
using orrelin::test::Quoted;
using orrelin::test::RegistryText;
using orrelin::test::Regsvr32;
using orrelin::test::TestStream;
using FakeAttributes = orrelin::test::FakeAttributes<wchar_t>;

namespace {

const CLSID kHandler = {0x49905783, 0x1DB4, 0x42B7, {0xA7, 0x0D, 0xBC, 0x5B, 0x64, 0xA1, 0x3E, 0x5C}};
const wchar_t kHandlerText[] = L"{49905783-1DB4-42B7-A70D-BC5B64A13E5C}";
const wchar_t kForeign[] = L"{11111111-2222-3333-4444-555555555555}";
const wchar_t kEntryKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\.dfu";
const PROPERTYKEY kComment = {{0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}}, 6};

std::wstring Dll()
{
    return Quoted(ProgramFolder() + L"Orrelin.dll");
}

std::vector<SchemaProperty> Schema()
{
    return ReadPropertySchema(ProgramFolder() + L"Orrelin.propdesc");
}

std::string FileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    UniqueHandle owner(file);
    bytes.resize(GetFileSize(file, nullptr));
    DWORD done = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    return bytes;
}

std::wstring Text(const PROPVARIANT& value)
{
    switch (value.vt) {
    case VT_LPWSTR:
        return value.pwszVal;
    case VT_UI4:
        return std::to_wstring(value.ulVal);
    case VT_UI8:
        return std::to_wstring(value.uhVal.QuadPart);
    case VT_VECTOR | VT_LPWSTR: {
        std::wstring text;
        for (ULONG i = 0; i < value.calpwstr.cElems; ++i)
            text += (i ? L"|" : L"") + std::wstring(value.calpwstr.pElems[i]);
        return text;
    }
    default:
        return L"vt" + std::to_wstring(value.vt);
    }
}

// The whole store as "Name=value;" in the store's order, named by the schema.
std::wstring StoreText(IPropertyStore* store)
{
    const std::vector<SchemaProperty> schema = Schema();
    std::wstring text;
    DWORD count = 0;
    EXPECT_EQ(S_OK, store->GetCount(&count));
    for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key;
        EXPECT_EQ(S_OK, store->GetAt(i, &key));
        std::wstring name = IsEqualPropertyKey(key, kComment) ? L"Comment" : L"?";
        for (const SchemaProperty& property : schema)
            if (IsEqualPropertyKey(property.key, key))
                name = property.name.substr(std::wstring(L"Orrelin.Dfu.").size());
        PROPVARIANT value;
        EXPECT_EQ(S_OK, store->GetValue(key, &value));
        text += name + L"=" + Text(value) + L";";
        PropVariantClear(&value);
    }
    return text;
}

ComPtr<IPropertyStore> StoreOf(IStream* stream, HRESULT expected = S_OK)
{
    ComPtr<IInitializeWithStream> handler;
    EXPECT_EQ(S_OK,
              CoCreateInstance(kHandler, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream, handler.put_void()));
    ComPtr<IPropertyStore> store;
    if (!handler) return store;
    EXPECT_EQ(expected, handler->Initialize(stream, STGM_READ));
    handler->QueryInterface(IID_IPropertyStore, store.put_void());
    return store;
}

class PropertyHandlerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEntryKey);
        ASSERT_EQ(0u, Regsvr32(Dll()));
    }
    static void TearDownTestSuite()
    {
        Regsvr32(L"/u " + Dll());
        CoUninitialize();
    }
};

struct StoreCase {
    const wchar_t* file;
    const wchar_t* store;
};

const StoreCase kStores[] = {
    {L"two-targets.dfu",
     L"VendorId=0x0483;ProductId=0xDF11;Release=200;DfuVersion=1.1a;TargetCount=2;"
     L"TargetNames=Internal Flash|(unnamed, alternate setting 1);ImageSize=1388;Verdict=Valid;"
     L"Comment=Internal Flash;"},
    {L"unnamed.dfu",
     L"VendorId=0x0483;ProductId=0xDF11;Release=200;DfuVersion=1.1a;TargetCount=2;"
     L"TargetNames=(unnamed, alternate setting 0)|(unnamed, alternate setting 2);ImageSize=272;"
     L"Verdict=Valid;"},
    {L"plain.dfu", L"VendorId=0x1D50;ProductId=0x6017;Release=42;DfuVersion=1.0;ImageSize=500;Verdict=Valid;"},
    {L"unstated-numbers.dfu", L"DfuVersion=1.0;ImageSize=200;Verdict=Valid;"},
    {L"crc-mismatch.dfu", L"Verdict=CRC mismatch;"},
    {L"lpc-prefix.dfu", L"Verdict=CRC mismatch: an LPC image prefix was added after the suffix;"},
    {L"no-suffix.dfu", L"Verdict=No DFU suffix;"},
    {L"empty.dfu", L"Verdict=Too short for a DFU suffix;"},
};

class StoreOfFile : public PropertyHandlerTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(StoreOfFile, AnswersTheLayout)
{
    ComPtr<IStream> stream;
    const std::wstring path = ProgramFolder() + L"layout-samples\\" + GetParam().file;
    ASSERT_EQ(S_OK, SHCreateStreamOnFileEx(path.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()));
    ComPtr<IPropertyStore> store = StoreOf(stream.get());
    ASSERT_TRUE(store);
    EXPECT_EQ(GetParam().store, StoreText(store.get()));
}

INSTANTIATE_TEST_SUITE_P(LayoutSamples, StoreOfFile, ::testing::ValuesIn(kStores));

struct StreamCase {
    const char* name;
    const wchar_t* file;
    ULONGLONG failAt;
    const wchar_t* store;
};

const StreamCase kStreams[] = {
    {"FailsAfterTheSuffix", L"two-targets.dfu", 600, L"Verdict=Unreadable;"},
    {"FailsAtOnce", L"two-targets.dfu", 0, L"Verdict=Unreadable;"},
    {"EmptyStream", L"empty.dfu", 0, L"Verdict=Too short for a DFU suffix;"},
    {"ReadsWhole", L"two-targets.dfu", ~0ull, nullptr},
};

class StoreOfStream : public PropertyHandlerTest, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(StoreOfStream, GivesAStoreWithTheVerdict)
{
    TestStream stream(FileBytes(ProgramFolder() + L"layout-samples\\" + GetParam().file), GetParam().failAt);
    {
        ComPtr<IPropertyStore> store = StoreOf(&stream);
        ASSERT_TRUE(store);
        const std::wstring text = StoreText(store.get());
        if (GetParam().store != nullptr)
            EXPECT_EQ(GetParam().store, text);
        else
            EXPECT_EQ(kStores[0].store, text);
    }
    // The handler keeps no reference to the stream it was given.
    EXPECT_EQ(1u, stream.References());
}

INSTANTIATE_TEST_SUITE_P(Streams, StoreOfStream, ::testing::ValuesIn(kStreams),
                         [](const auto& row) { return std::string(row.param.name); });

// A stream carries no attributes; the file its Stat names does, where it names it in full.
enum class Named { kFullPath, kLeafOnly, kNothing };

struct PlacedStreamCase {
    const char* name;
    Named named;
    std::uint32_t attributes;
    bool read;  // the stream's bytes are read
};

const PlacedStreamCase kPlacedStreams[] = {
    {"OnlineOnly", Named::kFullPath, orrelin::test::kRecallOnDataAccess, false},
    {"RecalledOnOpen", Named::kFullPath, orrelin::test::kRecallOnOpen, false},
    {"Offline", Named::kFullPath, orrelin::test::kOffline | orrelin::test::kArchive, false},
    {"Here", Named::kFullPath, orrelin::test::kArchive, true},
    // Nothing says where such a stream's file is: it is read, as before.
    {"NamedByLeafOnly", Named::kLeafOnly, orrelin::test::kOffline, true},
    {"Unnamed", Named::kNothing, orrelin::test::kOffline, true},
};

class StoreOfPlacedStream : public PropertyHandlerTest, public ::testing::WithParamInterface<PlacedStreamCase> {};

TEST_P(StoreOfPlacedStream, GivesOnlyTheVerdictOfAFileNotHere)
{
    const std::wstring path = ProgramFolder() + L"layout-samples\\two-targets.dfu";
    const Named named = GetParam().named;
    TestStream stream(FileBytes(path), ~0ull,
                      named == Named::kFullPath   ? path.c_str()
                      : named == Named::kLeafOnly ? L"two-targets.dfu"
                                                  : nullptr);
    const FakeAttributes fake(&KorvexReplaceAttributeQuery, GetParam().attributes);
    {
        ComPtr<IPropertyStore> store = StoreOf(&stream);
        ASSERT_TRUE(store);
        EXPECT_EQ(GetParam().read ? kStores[0].store : L"Verdict=Not on this device;", StoreText(store.get()));
    }
    EXPECT_EQ(GetParam().read, stream.Reads() > 0);
    EXPECT_EQ(named == Named::kFullPath ? 1 : 0, FakeAttributes::Queries());
    if (named == Named::kFullPath) {
        EXPECT_EQ(path, FakeAttributes::LastPath());
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, StoreOfPlacedStream, ::testing::ValuesIn(kPlacedStreams),
                         [](const auto& row) { return std::string(row.param.name); });

// The stream the shell opens on a file names it in full: the rule holds for it too.
TEST_F(PropertyHandlerTest, AsksTheFileOfTheShellsStream)
{
    const std::wstring path = ProgramFolder() + L"layout-samples\\two-targets.dfu";
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, SHCreateStreamOnFileEx(path.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()));
    const FakeAttributes fake(&KorvexReplaceAttributeQuery, orrelin::test::kRecallOnDataAccess);
    ComPtr<IPropertyStore> store = StoreOf(stream.get());
    ASSERT_TRUE(store);
    EXPECT_EQ(L"Verdict=Not on this device;", StoreText(store.get()));
    EXPECT_EQ(1, FakeAttributes::Queries());
}

TEST_F(PropertyHandlerTest, IsReadOnlyAndInitialisedOnce)
{
    TestStream stream(FileBytes(ProgramFolder() + L"layout-samples\\two-targets.dfu"), ~0ull);
    ComPtr<IInitializeWithStream> handler;
    ASSERT_EQ(S_OK,
              CoCreateInstance(kHandler, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream, handler.put_void()));
    EXPECT_EQ(E_POINTER, handler->Initialize(nullptr, STGM_READ));
    ASSERT_EQ(S_OK, handler->Initialize(&stream, STGM_READ));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED), handler->Initialize(&stream, STGM_READ));
    ComPtr<IPropertyStore> store;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IPropertyStore, store.put_void()));
    PROPVARIANT value;
    PropVariantInit(&value);
    value.vt = VT_UI4;
    EXPECT_EQ(STG_E_ACCESSDENIED, store->SetValue(kComment, value));
    EXPECT_EQ(STG_E_ACCESSDENIED, store->Commit());
    ComPtr<IPropertyStoreCapabilities> capabilities;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IPropertyStoreCapabilities, capabilities.put_void()));
    for (const SchemaProperty& property : Schema()) EXPECT_EQ(S_FALSE, capabilities->IsPropertyWritable(property.key));
    EXPECT_EQ(S_FALSE, capabilities->IsPropertyWritable(kComment));
    PROPERTYKEY key;
    EXPECT_EQ(E_INVALIDARG, store->GetAt(9, &key));
    // A property the file does not have is empty.
    const PROPERTYKEY absent = {kComment.fmtid, 99};
    EXPECT_EQ(S_OK, store->GetValue(absent, &value));
    EXPECT_EQ(VT_EMPTY, value.vt);
}

TEST_F(PropertyHandlerTest, SchemaDescribesEveryPropertyOfOurs)
{
    const std::vector<SchemaProperty> schema = Schema();
    ASSERT_EQ(8u, schema.size());
    const std::wstring fullDetails = RegistryText(HKEY_CLASSES_ROOT, L"dfufile", L"FullDetails");
    const std::wstring previewDetails = RegistryText(HKEY_CLASSES_ROOT, L"dfufile", L"PreviewDetails");
    EXPECT_EQ(0u, fullDetails.rfind(L"prop:System.", 0));
    EXPECT_EQ(0u, previewDetails.rfind(L"prop:System.", 0));
    for (const SchemaProperty& property : schema) {
        EXPECT_EQ(0u, property.name.rfind(L"Orrelin.Dfu.", 0));
        EXPECT_FALSE(property.label.empty());
        EXPECT_TRUE(property.column && property.searchable && property.sortable);
        EXPECT_EQ(property.name == L"Orrelin.Dfu.TargetNames", property.multipleValues);
        EXPECT_NE(std::wstring::npos, fullDetails.find(L";" + property.name));
        EXPECT_NE(std::wstring::npos, previewDetails.find(L";" + property.name));
    }
    // Every key the handler answers for a full file is described, with the type it answers.
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, SHCreateStreamOnFileEx((ProgramFolder() + L"layout-samples\\two-targets.dfu").c_str(), STGM_READ, 0,
                                           FALSE, nullptr, stream.put()));
    ComPtr<IPropertyStore> store = StoreOf(stream.get());
    ASSERT_TRUE(store);
    DWORD count = 0;
    store->GetCount(&count);
    EXPECT_EQ(schema.size() + 1, count);
    for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key;
        store->GetAt(i, &key);
        if (IsEqualPropertyKey(key, kComment)) continue;
        PROPVARIANT value;
        store->GetValue(key, &value);
        bool described = false;
        for (const SchemaProperty& property : schema) {
            if (!IsEqualPropertyKey(property.key, key)) continue;
            described = true;
            const VARTYPE type = property.type == L"UInt32" ? VT_UI4 : property.type == L"UInt64" ? VT_UI8 : VT_LPWSTR;
            EXPECT_EQ(property.multipleValues ? (VT_VECTOR | VT_LPWSTR) : type, value.vt);
        }
        EXPECT_TRUE(described) << i;
        PropVariantClear(&value);
    }
}

// Registration of the handler entry, the class and the Details lists, and their removal.
class HandlerRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Regsvr32(L"/u " + Dll());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEntryKey);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(HandlerRegistrationTest, WritesAndRemovesExactlyItsOwnKeys)
{
    const std::wstring classKey = std::wstring(L"CLSID\\") + kHandlerText;
    ASSERT_EQ(0u, Regsvr32(Dll()));
    EXPECT_EQ(kHandlerText, RegistryText(HKEY_LOCAL_MACHINE, kEntryKey, nullptr));
    EXPECT_EQ(ProgramFolder() + L"Orrelin.dll",
              RegistryText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr));
    EXPECT_EQ(L"Apartment", RegistryText(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel"));
    ASSERT_EQ(0u, Regsvr32(L"/u " + Dll()));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, &key));
    EXPECT_EQ(L"(absent)", RegistryText(HKEY_CLASSES_ROOT, L"dfufile", L"FullDetails"));
    EXPECT_EQ(L"(absent)", RegistryText(HKEY_CLASSES_ROOT, L"dfufile", L"PreviewDetails"));
}

TEST_F(HandlerRegistrationTest, LeavesAForeignHandlerAlone)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEntryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kForeign), sizeof(kForeign));
    RegCloseKey(key);
    ASSERT_EQ(0u, Regsvr32(Dll()));
    EXPECT_EQ(kForeign, RegistryText(HKEY_LOCAL_MACHINE, kEntryKey, nullptr));
    ASSERT_EQ(0u, Regsvr32(L"/u " + Dll()));
    EXPECT_EQ(kForeign, RegistryText(HKEY_LOCAL_MACHINE, kEntryKey, nullptr));
}

}  // namespace
