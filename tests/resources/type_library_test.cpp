// The type library TYPELIB 1 of Orrelin.dll, read the way registration and IDispatch read
// it: through the automation library, from the library file itself.
#include "orrelin_dll.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstring>
#include <vector>

namespace {

using Microsoft::WRL::ComPtr;
using orrelin::test::LoadOrrelinResources;
using orrelin::test::OrrelinDllPath;
using orrelin::test::ResourceBytes;

// {B0EC6BB1-49C8-11D5-901D-00B0D064D823}
const GUID kLibraryId = {0xB0EC6BB1, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
// {B0EC6BBF-49C8-11D5-901D-00B0D064D823}
const GUID kClassId = {0xB0EC6BBF, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
// {B0EC6BBE-49C8-11D5-901D-00B0D064D823}
const GUID kInterfaceId = {0xB0EC6BBE, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
// stdole2.tlb, {00020430-0000-0000-C000-000000000046}
const GUID kStdOleId = {0x00020430, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

struct Documentation {
    std::wstring name;
    std::wstring docString;
    bool hasHelpFile = false;
};

std::wstring Take(BSTR text)
{
    std::wstring result = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return result;
}

template <typename Owner>
Documentation DocumentationOf(Owner* owner, MEMBERID member)
{
    BSTR name = nullptr;
    BSTR docString = nullptr;
    BSTR helpFile = nullptr;
    Documentation result;
    EXPECT_EQ(owner->GetDocumentation(member, &name, &docString, nullptr, &helpFile), S_OK);
    result.hasHelpFile = helpFile != nullptr && SysStringLen(helpFile) > 0;
    result.name = Take(name);
    result.docString = Take(docString);
    SysFreeString(helpFile);
    return result;
}

// Copies of the attribute records, so no test has to remember to release them; only
// their plain fields are read.
TLIBATTR LibAttrOf(ITypeLib* library)
{
    TLIBATTR* attr = nullptr;
    TLIBATTR copy{};
    if (SUCCEEDED(library->GetLibAttr(&attr)) && attr) {
        copy = *attr;
        library->ReleaseTLibAttr(attr);
    }
    return copy;
}

TYPEATTR TypeAttrOf(ITypeInfo* type)
{
    TYPEATTR* attr = nullptr;
    TYPEATTR copy{};
    if (SUCCEEDED(type->GetTypeAttr(&attr)) && attr) {
        copy = *attr;
        type->ReleaseTypeAttr(attr);
    }
    return copy;
}

class TypeLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(LoadTypeLibEx(OrrelinDllPath().c_str(), REGKIND_NONE, &library_), S_OK);
        ASSERT_EQ(library_->GetTypeInfoCount(), 2u);
        ASSERT_EQ(library_->GetTypeInfo(0, &coclass_), S_OK);
        ASSERT_EQ(library_->GetTypeInfo(1, &interface_), S_OK);
    }

    // The type that the given type's implemented-interface slot refers to.
    static ComPtr<ITypeInfo> ReferencedType(ITypeInfo* type, UINT index)
    {
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> referenced;
        EXPECT_EQ(type->GetRefTypeOfImplType(index, &reference), S_OK);
        EXPECT_EQ(type->GetRefTypeInfo(reference, &referenced), S_OK);
        return referenced;
    }

    ComPtr<ITypeLib> library_;
    ComPtr<ITypeInfo> coclass_;
    ComPtr<ITypeInfo> interface_;
};

TEST_F(TypeLibrary, LibraryAttributes)
{
    TLIBATTR attr = LibAttrOf(library_.Get());
    EXPECT_TRUE(IsEqualGUID(attr.guid, kLibraryId));
    EXPECT_EQ(attr.lcid, 0u);
    EXPECT_EQ(attr.syskind, kSysKind);
    EXPECT_EQ(attr.wMajorVerNum, 1);
    EXPECT_EQ(attr.wMinorVerNum, 0);
    // The automation library adds FHASDISKIMAGE for a library loaded from a file; nothing
    // else may be set (the stored flags are checked with the header below).
    EXPECT_EQ(attr.wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);

    Documentation doc = DocumentationOf(library_.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.name, L"ORRELINLib");
    EXPECT_EQ(doc.docString, L"Orrelin 1.0 Type Library");
    EXPECT_FALSE(doc.hasHelpFile);
}

// What the automation library does not report as stored: the text locale and the flags.
TEST_F(TypeLibrary, StoredHeader)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module);
    auto bytes = ResourceBytes(module.get(), L"TYPELIB", MAKEINTRESOURCEW(1));
    ASSERT_TRUE(bytes);
    struct {
        char magic[4];
        UINT32 formatVersion;
        INT32 guidOffset;
        UINT32 textLocale;
        UINT32 libraryLocale;
        UINT32 sysKindAndFlags;
        UINT32 version;
        UINT32 libraryFlags;
        UINT32 typeCount;
    } header;
    ASSERT_GE(bytes->size(), sizeof header);
    memcpy(&header, bytes->data(), sizeof header);
    EXPECT_EQ(std::string(header.magic, 4), "MSFT");
    EXPECT_EQ(header.textLocale, 0x0409u);
    EXPECT_EQ(header.libraryLocale, 0u);
    EXPECT_EQ(header.sysKindAndFlags & 0xF, static_cast<UINT32>(kSysKind));
    EXPECT_EQ(header.version, 1u) << "major 1 in the low word, minor 0 in the high word";
    EXPECT_EQ(header.libraryFlags, 0u);
    EXPECT_EQ(header.typeCount, 2u);
}

TEST_F(TypeLibrary, ClassComesFirstThenInterface)
{
    TYPEKIND kind{};
    ASSERT_EQ(library_->GetTypeInfoType(0, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_COCLASS);
    ASSERT_EQ(library_->GetTypeInfoType(1, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);
    EXPECT_EQ(library_->GetTypeInfoType(2, &kind), TYPE_E_ELEMENTNOTFOUND);

    EXPECT_EQ(DocumentationOf(library_.Get(), 0).name, L"DFUShellExt");
    EXPECT_EQ(DocumentationOf(library_.Get(), 1).name, L"IDFUShellExt");
}

TEST_F(TypeLibrary, ClassIsCreatableWithDefaultInterface)
{
    TYPEATTR attr = TypeAttrOf(coclass_.Get());
    EXPECT_TRUE(IsEqualGUID(attr.guid, kClassId));
    EXPECT_EQ(attr.typekind, TKIND_COCLASS);
    EXPECT_EQ(attr.wTypeFlags, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr.wMajorVerNum, 0);
    EXPECT_EQ(attr.wMinorVerNum, 0);
    EXPECT_EQ(attr.cFuncs, 0);
    EXPECT_EQ(attr.cVars, 0);
    ASSERT_EQ(attr.cImplTypes, 1);

    INT flags = 0;
    ASSERT_EQ(coclass_->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);

    ComPtr<ITypeInfo> implemented = ReferencedType(coclass_.Get(), 0);
    ASSERT_TRUE(implemented);
    EXPECT_TRUE(IsEqualGUID(TypeAttrOf(implemented.Get()).guid, kInterfaceId));
    ComPtr<ITypeLib> container;
    UINT index = 99;
    ASSERT_EQ(implemented->GetContainingTypeLib(&container, &index), S_OK);
    EXPECT_EQ(index, 1u);

    Documentation doc = DocumentationOf(coclass_.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.name, L"DFUShellExt");
    EXPECT_EQ(doc.docString, L"DFUShellExt Class");
}

TEST_F(TypeLibrary, InterfaceIsDualAndAddsNothingToIDispatch)
{
    TYPEATTR attr = TypeAttrOf(interface_.Get());
    EXPECT_TRUE(IsEqualGUID(attr.guid, kInterfaceId));
    EXPECT_EQ(attr.typekind, TKIND_DISPATCH);
    // The stored flag word: TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE.
    ComPtr<ITypeInfo2> info2;
    ASSERT_EQ(interface_.As(&info2), S_OK);
    ULONG stored = 0;
    ASSERT_EQ(info2->GetTypeFlags(&stored), S_OK);
    EXPECT_EQ(stored, 0x1140u);
    // The attributes of a dispatch interface may leave out FOLEAUTOMATION (Wine's do).
    EXPECT_EQ(attr.wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
    EXPECT_EQ(attr.wMajorVerNum, 0);
    EXPECT_EQ(attr.wMinorVerNum, 0);
    EXPECT_EQ(attr.cFuncs, 7);
    EXPECT_EQ(attr.cVars, 0);
    EXPECT_EQ(attr.cbSizeVft, 7 * sizeof(void*));
    EXPECT_EQ(attr.cImplTypes, 1);

    Documentation doc = DocumentationOf(interface_.Get(), MEMBERID_NIL);
    EXPECT_EQ(doc.name, L"IDFUShellExt");
    EXPECT_EQ(doc.docString, L"IDFUShellExt Interface");
}

// The base resolves through the imported stdole2.tlb, and the seven functions are the
// inherited ones of IUnknown and IDispatch, in slot order.
TEST_F(TypeLibrary, InterfaceBaseIsIDispatchFromStdOle)
{
    ComPtr<ITypeInfo> base = ReferencedType(interface_.Get(), 0);
    ASSERT_TRUE(base);
    EXPECT_TRUE(IsEqualGUID(TypeAttrOf(base.Get()).guid, IID_IDispatch));
    ComPtr<ITypeLib> container;
    UINT index = 0;
    ASSERT_EQ(base->GetContainingTypeLib(&container, &index), S_OK);
    EXPECT_TRUE(IsEqualGUID(LibAttrOf(container.Get()).guid, kStdOleId));

    const wchar_t* const expectedNames[] = {L"QueryInterface", L"AddRef",        L"Release",
                                            L"GetTypeInfoCount", L"GetTypeInfo", L"GetIDsOfNames",
                                            L"Invoke"};
    for (UINT i = 0; i < 7; ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(interface_->GetFuncDesc(i, &function), S_OK) << i;
        BSTR name = nullptr;
        EXPECT_EQ(interface_->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(function->oVft, static_cast<SHORT>(i * sizeof(void*))) << i;
        interface_->ReleaseFuncDesc(function);
        EXPECT_EQ(Take(name), expectedNames[i]) << i;
    }
}

// A dual interface also describes its vtable face, reached through the reference -1.
TEST_F(TypeLibrary, InterfaceHasVtableFace)
{
    HREFTYPE reference = 0;
    ASSERT_EQ(interface_->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), S_OK);
    ComPtr<ITypeInfo> vtableFace;
    ASSERT_EQ(interface_->GetRefTypeInfo(reference, &vtableFace), S_OK);
    TYPEATTR attr = TypeAttrOf(vtableFace.Get());
    EXPECT_EQ(attr.typekind, TKIND_INTERFACE);
    EXPECT_TRUE(IsEqualGUID(attr.guid, kInterfaceId));
    EXPECT_EQ(attr.cFuncs, 0);
    EXPECT_EQ(attr.cbSizeVft, 7 * sizeof(void*));
}

TEST_F(TypeLibrary, FindsTypesByIdentifier)
{
    ComPtr<ITypeInfo> byClass;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(kClassId, &byClass), S_OK);
    EXPECT_EQ(TypeAttrOf(byClass.Get()).typekind, TKIND_COCLASS);
    ComPtr<ITypeInfo> byInterface;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(kInterfaceId, &byInterface), S_OK);
    EXPECT_EQ(TypeAttrOf(byInterface.Get()).typekind, TKIND_DISPATCH);
}

}  // namespace
