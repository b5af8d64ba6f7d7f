// Helpers for tests that create DFUShellExt objects through the class's own creator.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "DFUShellExt.h"
#include "handles.h"
#include "registered_library.h"

using orrelin::test::Narrow;
using orrelin::test::TemporaryFolder;

// A new stand-alone object; the test reaches the C++ object behind the face it asked for.
inline DFUShellExt* NewShellObject(orrelin::ComPtr<IUnknown>& holder)
{
    EXPECT_EQ(S_OK, DFUShellExt::CreateInstance(nullptr, IID_IUnknown, holder.put_void()));
    // The first face (the automation face) is what IUnknown answers.
    return static_cast<DFUShellExt*>(reinterpret_cast<IDFUShellExt*>(holder.get()));
}
