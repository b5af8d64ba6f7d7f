#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "counting_outer.h"
#include "shell_object.h"

using orrelin::ComPtr;
using orrelin::test::CountingOuter;

namespace {

struct FaceRow {
    const char* name;
    const IID* iid;
};

const FaceRow kFaces[] = {
    {"IDFUShellExt", &IID_IDFUShellExt}, {"IDispatch", &IID_IDispatch},       {"IShellExtInit", &IID_IShellExtInit},
    {"IContextMenu", &IID_IContextMenu}, {"IPersistFile", &IID_IPersistFile}, {"IQueryInfo", &IID_IQueryInfo},
};

TEST(ObjectIdentity, IUnknownThroughEveryFaceIsTheFirstFace)
{
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, DFUShellExt::CreateInstance(nullptr, IID_IUnknown, identity.put_void()));
    ComPtr<IDFUShellExt> first;
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_IDFUShellExt, first.put_void()));
    EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(first.get()));

    for (const auto& face : kFaces) {
        ComPtr<IUnknown> asked;
        ASSERT_EQ(S_OK, identity->QueryInterface(*face.iid, asked.put_void())) << face.name;
        ComPtr<IUnknown> back;
        ASSERT_EQ(S_OK, asked->QueryInterface(IID_IUnknown, back.put_void())) << face.name;
        EXPECT_EQ(identity.get(), back.get()) << face.name;
    }
    ComPtr<IUnknown> dispatch, automation;
    identity->QueryInterface(IID_IDispatch, dispatch.put_void());
    identity->QueryInterface(IID_IDFUShellExt, automation.put_void());
    EXPECT_EQ(dispatch.get(), automation.get());
}

TEST(ObjectIdentity, RefusesInterfacesOutsideItsMap)
{
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, DFUShellExt::CreateInstance(nullptr, IID_IUnknown, identity.put_void()));
    for (const IID* iid :
         {&IID_IPersist, &IID_IContextMenu2, &IID_IContextMenu3, &IID_IClassFactory, &IID_IPersistStream}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(*iid, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, identity->QueryInterface(IID_IUnknown, nullptr));
}

TEST(ObjectIdentity, InterfaceMapWalkChecksItsArguments)
{
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_INVALIDARG, InterfaceMapWalk(nullptr, DFUShellExt::GetInterfaceMap(), IID_IUnknown, &out));
    int dummy = 0;
    EXPECT_EQ(E_INVALIDARG, InterfaceMapWalk(&dummy, nullptr, IID_IUnknown, &out));
    EXPECT_EQ(E_POINTER, InterfaceMapWalk(&dummy, DFUShellExt::GetInterfaceMap(), IID_IUnknown, nullptr));
}

TEST(ObjectLifetime, EachLiveObjectHoldsOneModuleLock)
{
    const LONG before = g_module.GetLockCount();
    ComPtr<IUnknown> one, two;
    ASSERT_EQ(S_OK, DFUShellExt::CreateInstance(nullptr, IID_IQueryInfo, one.put_void()));
    ASSERT_EQ(S_OK, DFUShellExt::CreateInstance(nullptr, IID_IContextMenu, two.put_void()));
    EXPECT_EQ(before + 2, g_module.GetLockCount());
    // References go up and down plainly on the one object, whatever face they come through.
    EXPECT_EQ(2u, one->AddRef());
    EXPECT_EQ(1u, one->Release());
    one.reset();
    EXPECT_EQ(before + 1, g_module.GetLockCount());
    two.reset();
    EXPECT_EQ(before, g_module.GetLockCount());
}

TEST(ObjectLifetime, FailedCreationGivesItsLockBack)
{
    const LONG before = g_module.GetLockCount();
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, DFUShellExt::CreateInstance(nullptr, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(before, g_module.GetLockCount());
    EXPECT_EQ(E_POINTER, DFUShellExt::CreateInstance(nullptr, IID_IUnknown, nullptr));
}

TEST(Aggregation, ContainedFacesForwardToTheOuterObject)
{
    CountingOuter outer;
    const LONG before = g_module.GetLockCount();
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, DFUShellExt::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)));
    outer.inner = inner;
    EXPECT_EQ(before + 1, g_module.GetLockCount());

    // The aggregate's own IUnknown does not forward.
    ComPtr<IUnknown> own;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, own.put_void()));
    EXPECT_EQ(inner, own.get());
    EXPECT_EQ(1, outer.references);
    own.reset();

    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(2, outer.references);  // the face's AddRef reached the outer object
    menu->AddRef();
    EXPECT_EQ(3, outer.references);
    menu->Release();
    menu->Release();
    EXPECT_EQ(1, outer.references);

    // A contained face's QueryInterface asks the outer object.
    IQueryInfo* tip = nullptr;
    ASSERT_EQ(S_OK, inner->QueryInterface(IID_IQueryInfo, reinterpret_cast<void**>(&tip)));
    const int queries = outer.queries;
    IUnknown* viaFace = nullptr;
    ASSERT_EQ(S_OK, tip->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaFace)));
    EXPECT_EQ(queries + 1, outer.queries);
    EXPECT_EQ(static_cast<IUnknown*>(&outer), viaFace);
    viaFace->Release();
    tip->Release();

    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(before, g_module.GetLockCount());
}

}  // namespace
