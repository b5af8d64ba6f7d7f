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
    EXPECT_EQ(S_OK, owner->GetDocumentation(member, &name, &docString, nullptr, &helpFile));
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
        ASSERT_EQ(S_OK, LoadTypeLibEx(OrrelinDllPath().c_str(), REGKIND_NONE, &m_library));
        ASSERT_EQ(2u, m_library->GetTypeInfoCount());
        ASSERT_EQ(S_OK, m_library->GetTypeInfo(0, &m_classType));
        ASSERT_EQ(S_OK, m_library->GetTypeInfo(1, &m_interfaceType));
    }

    // The type that the given type's implemented-interface slot refers to.
    static ComPtr<ITypeInfo> ReferencedType(ITypeInfo* type, UINT index)
    {
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> referenced;
        EXPECT_EQ(S_OK, type->GetRefTypeOfImplType(index, &reference));
        EXPECT_EQ(S_OK, type->GetRefTypeInfo(reference, &referenced));
        return referenced;
    }

    ComPtr<ITypeLib> m_library;
    ComPtr<ITypeInfo> m_classType;
    ComPtr<ITypeInfo> m_interfaceType;
};

TEST_F(TypeLibrary, LibraryAttributes)
{
    TLIBATTR attr = LibAttrOf(m_library.Get());
    EXPECT_TRUE(IsEqualGUID(attr.guid, kLibraryId));
    EXPECT_EQ(0u, attr.lcid);
    EXPECT_EQ(kSysKind, attr.syskind);
    EXPECT_EQ(1, attr.wMajorVerNum);
    EXPECT_EQ(0, attr.wMinorVerNum);
    // The automation library adds FHASDISKIMAGE for a library loaded from a file; nothing
    // else may be set (the stored flags are checked with the header below).
    EXPECT_EQ(0, attr.wLibFlags & ~LIBFLAG_FHASDISKIMAGE);

    Documentation doc = DocumentationOf(m_library.Get(), MEMBERID_NIL);
    EXPECT_EQ(L"ORRELINLib", doc.name);
    EXPECT_EQ(L"Orrelin 1.0 Type Library", doc.docString);
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
    EXPECT_EQ("MSFT", std::string(header.magic, 4));
    EXPECT_EQ(0x0409u, header.textLocale);
    EXPECT_EQ(0u, header.libraryLocale);
    EXPECT_EQ(static_cast<UINT32>(kSysKind), header.sysKindAndFlags & 0xF);
    EXPECT_EQ(1u, header.version) << "major 1 in the low word, minor 0 in the high word";
    EXPECT_EQ(0u, header.libraryFlags);
    EXPECT_EQ(2u, header.typeCount);
}

TEST_F(TypeLibrary, ClassComesFirstThenInterface)
{
    TYPEKIND kind{};
    ASSERT_EQ(S_OK, m_library->GetTypeInfoType(0, &kind));
    EXPECT_EQ(TKIND_COCLASS, kind);
    ASSERT_EQ(S_OK, m_library->GetTypeInfoType(1, &kind));
    EXPECT_EQ(TKIND_DISPATCH, kind);
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, m_library->GetTypeInfoType(2, &kind));

    EXPECT_EQ(L"DFUShellExt", DocumentationOf(m_library.Get(), 0).name);
    EXPECT_EQ(L"IDFUShellExt", DocumentationOf(m_library.Get(), 1).name);
}

TEST_F(TypeLibrary, ClassIsCreatableWithDefaultInterface)
{
    TYPEATTR attr = TypeAttrOf(m_classType.Get());
    EXPECT_TRUE(IsEqualGUID(attr.guid, kClassId));
    EXPECT_EQ(TKIND_COCLASS, attr.typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, attr.wTypeFlags);
    EXPECT_EQ(0, attr.wMajorVerNum);
    EXPECT_EQ(0, attr.wMinorVerNum);
    EXPECT_EQ(0, attr.cFuncs);
    EXPECT_EQ(0, attr.cVars);
    ASSERT_EQ(1, attr.cImplTypes);

    INT flags = 0;
    ASSERT_EQ(S_OK, m_classType->GetImplTypeFlags(0, &flags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);

    ComPtr<ITypeInfo> implemented = ReferencedType(m_classType.Get(), 0);
    ASSERT_TRUE(implemented);
    EXPECT_TRUE(IsEqualGUID(TypeAttrOf(implemented.Get()).guid, kInterfaceId));
    ComPtr<ITypeLib> container;
    UINT index = 99;
    ASSERT_EQ(S_OK, implemented->GetContainingTypeLib(&container, &index));
    EXPECT_EQ(1u, index);

    Documentation doc = DocumentationOf(m_classType.Get(), MEMBERID_NIL);
    EXPECT_EQ(L"DFUShellExt", doc.name);
    EXPECT_EQ(L"DFUShellExt Class", doc.docString);
}

TEST_F(TypeLibrary, InterfaceIsDualAndAddsNothingToIDispatch)
{
    TYPEATTR attr = TypeAttrOf(m_interfaceType.Get());
    EXPECT_TRUE(IsEqualGUID(attr.guid, kInterfaceId));
    EXPECT_EQ(TKIND_DISPATCH, attr.typekind);
    // The stored flag word: TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE.
    ComPtr<ITypeInfo2> info2;
    ASSERT_EQ(S_OK, m_interfaceType.As(&info2));
    ULONG stored = 0;
    ASSERT_EQ(S_OK, info2->GetTypeFlags(&stored));
    EXPECT_EQ(0x1140u, stored);
    // The attributes of a dispatch interface may leave out FOLEAUTOMATION (Wine's do).
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, attr.wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(0, attr.wMajorVerNum);
    EXPECT_EQ(0, attr.wMinorVerNum);
    EXPECT_EQ(7, attr.cFuncs);
    EXPECT_EQ(0, attr.cVars);
    EXPECT_EQ(7 * sizeof(void*), attr.cbSizeVft);
    EXPECT_EQ(1, attr.cImplTypes);

    Documentation doc = DocumentationOf(m_interfaceType.Get(), MEMBERID_NIL);
    EXPECT_EQ(L"IDFUShellExt", doc.name);
    EXPECT_EQ(L"IDFUShellExt Interface", doc.docString);
}

// The base resolves through the imported stdole2.tlb, and the seven functions are the
// inherited ones of IUnknown and IDispatch, in slot order.
TEST_F(TypeLibrary, InterfaceBaseIsIDispatchFromStdOle)
{
    ComPtr<ITypeInfo> base = ReferencedType(m_interfaceType.Get(), 0);
    ASSERT_TRUE(base);
    EXPECT_TRUE(IsEqualGUID(TypeAttrOf(base.Get()).guid, IID_IDispatch));
    ComPtr<ITypeLib> container;
    UINT index = 0;
    ASSERT_EQ(S_OK, base->GetContainingTypeLib(&container, &index));
    EXPECT_TRUE(IsEqualGUID(LibAttrOf(container.Get()).guid, kStdOleId));

    const wchar_t* const expectedNames[] = {L"QueryInterface", L"AddRef",        L"Release", L"GetTypeInfoCount",
                                            L"GetTypeInfo",    L"GetIDsOfNames", L"Invoke"};
    for (UINT i = 0; i < 7; ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(S_OK, m_interfaceType->GetFuncDesc(i, &function)) << i;
        BSTR name = nullptr;
        EXPECT_EQ(S_OK, m_interfaceType->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr));
        EXPECT_EQ(function->oVft, static_cast<SHORT>(i * sizeof(void*))) << i;
        m_interfaceType->ReleaseFuncDesc(function);
        EXPECT_EQ(Take(name), expectedNames[i]) << i;
    }
}

// A dual interface also describes its vtable face, reached through the reference -1.
TEST_F(TypeLibrary, InterfaceHasVtableFace)
{
    HREFTYPE reference = 0;
    ASSERT_EQ(S_OK, m_interfaceType->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference));
    ComPtr<ITypeInfo> vtableFace;
    ASSERT_EQ(S_OK, m_interfaceType->GetRefTypeInfo(reference, &vtableFace));
    TYPEATTR attr = TypeAttrOf(vtableFace.Get());
    EXPECT_EQ(TKIND_INTERFACE, attr.typekind);
    EXPECT_TRUE(IsEqualGUID(attr.guid, kInterfaceId));
    EXPECT_EQ(0, attr.cFuncs);
    EXPECT_EQ(7 * sizeof(void*), attr.cbSizeVft);
}

TEST_F(TypeLibrary, FindsTypesByIdentifier)
{
    ComPtr<ITypeInfo> byClass;
    ASSERT_EQ(S_OK, m_library->GetTypeInfoOfGuid(kClassId, &byClass));
    EXPECT_EQ(TKIND_COCLASS, TypeAttrOf(byClass.Get()).typekind);
    ComPtr<ITypeInfo> byInterface;
    ASSERT_EQ(S_OK, m_library->GetTypeInfoOfGuid(kInterfaceId, &byInterface));
    EXPECT_EQ(TKIND_DISPATCH, TypeAttrOf(byInterface.Get()).typekind);
}

}  // namespace
