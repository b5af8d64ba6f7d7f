// The registry script REGISTRY 102 of Orrelin.dll, which the registrar applies as stored.
#include "orrelin_dll.h"

#include <gtest/gtest.h>

namespace {

using orrelin::test::LoadOrrelinResources;
using orrelin::test::ResourceBytes;

// Indented with tabs, lines ended by a line feed alone, a line feed after the last line.
constexpr std::string_view kExpectedScript = R"(HKCR
{
	Orrelin.DFUShellExt.1 = s 'DFUShellExt Class'
	{
		CLSID = s '{B0EC6BBF-49C8-11D5-901D-00B0D064D823}'
	}
	Orrelin.DFUShellExt = s 'DFUShellExt Class'
	{
		CLSID = s '{B0EC6BBF-49C8-11D5-901D-00B0D064D823}'
		CurVer = s 'Orrelin.DFUShellExt.1'
	}
	NoRemove CLSID
	{
		ForceRemove {B0EC6BBF-49C8-11D5-901D-00B0D064D823} = s 'DFUShellExt Class'
		{
			ProgID = s 'Orrelin.DFUShellExt.1'
			VersionIndependentProgID = s 'Orrelin.DFUShellExt'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '{B0EC6BB1-49C8-11D5-901D-00B0D064D823}'
		}
	}
	NoRemove dfufile
	{
		NoRemove ShellEx
		{
			NoRemove ContextMenuHandlers
			{
				ForceRemove Orrelin.DFUShellExt = s '{B0EC6BBF-49C8-11D5-901D-00B0D064D823}'
			}
		}
	}
	NoRemove .dfu = s 'dfufile'
	{
		NoRemove shellex
		{
			NoRemove {00021500-0000-0000-C000-000000000046} = s '{B0EC6BBF-49C8-11D5-901D-00B0D064D823}'
		}
	}
}
)";

TEST(RegistryScript, IsStoredByteForByte)
{
    auto module = LoadOrrelinResources();
    ASSERT_TRUE(module) << "LoadLibraryExW failed: " << GetLastError();
    auto script = ResourceBytes(module.get(), L"REGISTRY", MAKEINTRESOURCEW(102));
    ASSERT_TRUE(script) << "no REGISTRY 102";
    // The usual ways of spoiling the text on its way into the library, named first.
    EXPECT_EQ(script->find('\r'), std::string_view::npos) << "carriage return stored";
    EXPECT_EQ(script->find('\0'), std::string_view::npos) << "terminator or padding stored";
    EXPECT_EQ(script->find("\n    "), std::string_view::npos) << "indented with blanks";
    EXPECT_EQ(*script, kExpectedScript);
}

}  // namespace
