// REGISTRY 102 as the library stores it and the registrar applies it: indented with tabs,
// lines ended by a line feed alone, a line feed after the last line. One copy for every
// test that reads or runs it.
#pragma once

#include <string_view>

namespace orrelin::test {

inline constexpr std::string_view kSystemScript = R"(HKCR
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

}  // namespace orrelin::test
