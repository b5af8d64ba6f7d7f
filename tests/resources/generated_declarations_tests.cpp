// The declarations generated from Orrelin.idl, which the server code compiles against,
// name the same identifiers as the stored type library.
#include <Orrelin_i.h>

#include <gtest/gtest.h>

#include <type_traits>

namespace {

TEST(GeneratedDeclarations, IdentifiersMatchTheClassAndInterface)
{
    const GUID libraryId = {0xB0EC6BB1, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
    const GUID interfaceId = {0xB0EC6BBE, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
    const GUID classId = {0xB0EC6BBF, 0x49C8, 0x11D5, {0x90, 0x1D, 0x00, 0xB0, 0xD0, 0x64, 0xD8, 0x23}};
    EXPECT_TRUE(IsEqualGUID(LIBID_ORRELINLib, libraryId));
    EXPECT_TRUE(IsEqualGUID(IID_IDFUShellExt, interfaceId));
    EXPECT_TRUE(IsEqualGUID(CLSID_DFUShellExt, classId));
    EXPECT_TRUE(IsEqualGUID(__uuidof(IDFUShellExt), interfaceId));
}

// The server's objects derive their automation face from this declaration.
static_assert(std::is_base_of_v<IDispatch, IDFUShellExt>);

}  // namespace
