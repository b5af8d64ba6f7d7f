// The cached class factory the module's class map hands out, over the shell extension
// object's creator, linked directly: its module locks and its checks.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "DFUShellExt.h"
#include "class_factory.h"
#include "counting_outer.h"
#include "handles.h"
#include "module.h"

using orrelin::ComPtr;
using orrelin::test::CountingOuter;

namespace {

TEST(ClassFactory, ClientReferencesHoldExactlyOneModuleLock)
{
    const LONG before = g_module.GetLockCount();
    IUnknown* cached = nullptr;
    ASSERT_EQ(S_OK, CreateCachedClassFactory(reinterpret_cast<void*>(&DFUShellExt::CreateInstance), IID_IUnknown,
                                             reinterpret_cast<void**>(&cached)));
    EXPECT_EQ(before, g_module.GetLockCount()) << "the map's own reference never locks";

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, cached->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(before + 1, g_module.GetLockCount());
    factory->AddRef();
    EXPECT_EQ(before + 1, g_module.GetLockCount());
    factory->Release();

    CountingOuter outer;
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_IShellExtInit, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));

    ComPtr<IShellExtInit> init;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()));
    EXPECT_EQ(before + 2, g_module.GetLockCount());
    init.reset();

    EXPECT_EQ(S_OK, factory->LockServer(5));
    EXPECT_EQ(before + 2, g_module.GetLockCount());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(before + 1, g_module.GetLockCount());

    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(before, g_module.GetLockCount());
    EXPECT_EQ(0u, cached->Release());
    EXPECT_EQ(before, g_module.GetLockCount());
}

}  // namespace
