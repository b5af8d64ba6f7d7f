#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "KorvexDouble.h"
#include "counting_outer.h"
#include "Orrelin_i.h"
#include "handles.h"
#include "registered_library.h"

using orrelin::ComPtr;
using orrelin::test::CountingOuter;
using orrelin::test::ProcAs;
using orrelin::test::ProgramFolder;

namespace {

// Orrelin.dll reached only through its exports, as the shell reaches it.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = ProgramFolder() + L"Orrelin.dll";
        library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(nullptr, library);
        getClassObject = ProcAs<GetClassObjectFn>(library, "DllGetClassObject");
        canUnloadNow = ProcAs<CanUnloadNowFn>(library, "DllCanUnloadNow");
        ASSERT_NE(nullptr, getClassObject);
        ASSERT_NE(nullptr, canUnloadNow);
    }

    void TearDown() override
    {
        // Every test gives back all it took: the library may unload and does.
        EXPECT_EQ(S_OK, canUnloadNow());
        FreeLibrary(library);
        EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str())) << "the library stayed loaded";
    }

    ComPtr<IClassFactory> Factory()
    {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, getClassObject(CLSID_DFUShellExt, IID_IClassFactory, factory.put_void()));
        return factory;
    }

    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
    std::wstring path;
    HMODULE library = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
};

TEST_F(ServerTest, ExportsThePlainNames)
{
    for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(nullptr, GetProcAddress(library, name)) << name;
    EXPECT_EQ(nullptr, GetProcAddress(library, "DllRegisterServer@0"));
}

TEST_F(ServerTest, TheFactoryIsCachedAndLocksTheModuleWhileClientsHoldIt)
{
    EXPECT_EQ(S_OK, canUnloadNow());
    ComPtr<IClassFactory> first = Factory();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    ComPtr<IClassFactory> second = Factory();
    EXPECT_EQ(first.get(), second.get());
    ComPtr<IUnknown> asUnknown;
    EXPECT_EQ(S_OK, getClassObject(CLSID_DFUShellExt, IID_IUnknown, asUnknown.put_void()));
    first.reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    second.reset();
    asUnknown.reset();
    EXPECT_EQ(S_OK, canUnloadNow());
}

TEST_F(ServerTest, AnInterfaceTheFactoryLacksLeavesTheFactoryCached)
{
    ComPtr<IClassFactory> before = Factory();
    IClassFactory* const cached = before.get();
    before.reset();
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, getClassObject(CLSID_DFUShellExt, IID_IClassFactory2, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, canUnloadNow());
    EXPECT_EQ(cached, Factory().get());
}

TEST_F(ServerTest, OtherClassesAreNotAvailable)
{
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IDFUShellExt, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(CLSID_ShellLink, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_DFUShellExt, IID_IClassFactory, nullptr));
}

TEST_F(ServerTest, LockServerCountsLocksWhateverTheNonZeroFlag)
{
    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(S_OK, factory->LockServer(5));
    factory.reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    Factory()->LockServer(FALSE);
    EXPECT_EQ(S_OK, canUnloadNow());

    // An unlock without a lock takes the count below zero; a later lock brings it back.
    Factory()->LockServer(FALSE);
    EXPECT_EQ(S_FALSE, canUnloadNow());
    Factory()->LockServer(TRUE);
    EXPECT_EQ(S_OK, canUnloadNow());
}

TEST_F(ServerTest, ObjectsKeepTheModuleLoadedAndFailedCreationsDoNot)
{
    ComPtr<IClassFactory> factory = Factory();
    ComPtr<IQueryInfo> tip;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IQueryInfo, tip.put_void()));
    for (const IID* refused : {&IID_IPersist, &IID_IContextMenu2, &IID_IContextMenu3}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, tip->QueryInterface(*refused, &out));
        EXPECT_EQ(nullptr, out);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, *refused, &out));
        EXPECT_EQ(nullptr, out);
    }
    factory.reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());

    ComPtr<IUnknown> identity, viaDispatch, viaAutomation;
    ASSERT_EQ(S_OK, tip->QueryInterface(IID_IUnknown, identity.put_void()));
    ASSERT_EQ(S_OK, tip->QueryInterface(IID_IDispatch, viaDispatch.put_void()));
    ASSERT_EQ(S_OK, tip->QueryInterface(IID_IDFUShellExt, viaAutomation.put_void()));
    EXPECT_EQ(identity.get(), viaDispatch.get());
    EXPECT_EQ(viaDispatch.get(), viaAutomation.get());
    identity.reset();
    viaDispatch.reset();
    viaAutomation.reset();
    tip.reset();
    EXPECT_EQ(S_OK, canUnloadNow());
}

TEST_F(ServerTest, AggregationHandsOutOnlyTheOwnUnknown)
{
    ComPtr<IClassFactory> factory = Factory();
    CountingOuter outer;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IShellExtInit, &out));
    EXPECT_EQ(nullptr, out);

    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(2, outer.references);
    menu->Release();
    EXPECT_EQ(1, outer.references);
    factory.reset();
    EXPECT_EQ(S_FALSE, canUnloadNow());
    EXPECT_EQ(0u, inner->Release());
}

TEST_F(ServerTest, StartsTheEngineOncePerLoad)
{
    // SetUp loaded the library once for this test.
    EXPECT_GE(KorvexDouble_InitCount(), 1);
    const int before = KorvexDouble_InitCount();
    HMODULE again = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_EQ(library, again);
    FreeLibrary(again);
    EXPECT_EQ(before, KorvexDouble_InitCount());
}

// The automation face answers from the registered type library only.
class AutomationTest : public ServerTest {
protected:
    ComPtr<IDispatch> NewDispatch()
    {
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(S_OK, Factory()->CreateInstance(nullptr, IID_IDispatch, dispatch.put_void()));
        return dispatch;
    }

    void RegisterTypeLibrary()
    {
        ComPtr<ITypeLib> typeLibrary;
        ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, typeLibrary.put()));
    }

    static void UnregisterTypeLibrary()
    {
        UnRegisterTypeLib(LIBID_ORRELINLib, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    }
};

TEST_F(AutomationTest, WithoutRegistrationEveryCallButTheCountFails)
{
    UnregisterTypeLibrary();
    ComPtr<IDispatch> dispatch = NewDispatch();
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfoCount(nullptr));

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
    const HRESULT loadFailure = dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    EXPECT_TRUE(FAILED(loadFailure));
    EXPECT_EQ(nullptr, info);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));

    LPOLESTR name = const_cast<LPOLESTR>(L"QueryInterface");
    DISPID id = 0;
    EXPECT_EQ(loadFailure, dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    DISPPARAMS none = {};
    EXPECT_EQ(loadFailure,
              dispatch->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

TEST_F(AutomationTest, AnswersFromTheRegisteredTypeLibrary)
{
    RegisterTypeLibrary();
    {
        ComPtr<IDispatch> dispatch = NewDispatch();
        ComPtr<ITypeInfo> first, other;
        ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, first.put()));
        ASSERT_EQ(S_OK, dispatch->GetTypeInfo(7, LOCALE_USER_DEFAULT, other.put()));
        EXPECT_EQ(first.get(), other.get());
        TYPEATTR* attributes = nullptr;
        ASSERT_EQ(S_OK, first->GetTypeAttr(&attributes));
        EXPECT_TRUE(IsEqualGUID(IID_IDFUShellExt, attributes->guid));
        EXPECT_EQ(7, attributes->cFuncs);
        first->ReleaseTypeAttr(attributes);

        // One object's holder serves every object of the class.
        ComPtr<IDispatch> second = NewDispatch();
        ComPtr<ITypeInfo> shared;
        ASSERT_EQ(S_OK, second->GetTypeInfo(0, LOCALE_USER_DEFAULT, shared.put()));
        EXPECT_EQ(first.get(), shared.get());

        LPOLESTR name = const_cast<LPOLESTR>(L"Invoke");
        DISPID cached = DISPID_UNKNOWN;
        ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &cached));
        DISPID direct = DISPID_UNKNOWN;
        ASSERT_EQ(S_OK, first->GetIDsOfNames(&name, 1, &direct));
        EXPECT_EQ(direct, cached);
        // A name the cache holds only in another case is still found by the type description.
        LPOLESTR lower = const_cast<LPOLESTR>(L"invoke");
        DISPID folded = DISPID_UNKNOWN;
        EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &lower, 1, LOCALE_USER_DEFAULT, &folded));
        EXPECT_EQ(direct, folded);
        LPOLESTR unknown = const_cast<LPOLESTR>(L"Download");
        DISPID none = 0;
        EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &none));

        DISPPARAMS noArguments = {};
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, dispatch->Invoke(0x4242, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                                          &noArguments, nullptr, nullptr, nullptr));
    }
    UnregisterTypeLibrary();
}

}  // namespace
