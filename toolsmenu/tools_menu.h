// The entries of the tools menu of .dfu files: which a selection gets, the menu built from
// them, their verbs and help texts, and which one an invocation names.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace orrelin {

enum class ToolCommand { kExtract, kCopySha256, kCompare, kMakeDfu };

// The firmware files "Make DFU file..." takes, by extension, as dfutool make reads them; the
// menu is registered for each of them.
extern const wchar_t* const kFirmwareTypes[6];

// One .dfu file: extract and copy its SHA-256; exactly two .dfu files: compare; firmware
// files alone (Intel HEX, S-records, binaries), one or more: make a .dfu file of them.
// Anything else (a mixed selection, more .dfu files) gets no entry.
std::vector<ToolCommand> ToolCommandsFor(const std::vector<std::wstring>& paths);

// The entry's text, as both menus show it.
std::wstring ToolText(ToolCommand command);

// The verb Explorer names the entry by when it carries a choice out on a second menu.
const wchar_t* ToolVerb(ToolCommand command);

// Inserts the entries at `index` with identifiers from firstId while they stay at most
// lastId (none for CMF_DEFAULTONLY), and records in `added` what each offset stands for.
// Answers the number of identifiers used; a failed insertion removes what it had inserted.
HRESULT BuildToolsMenu(const std::vector<ToolCommand>& commands, HMENU menu, UINT index, UINT firstId, UINT lastId,
                       UINT flags, std::vector<ToolCommand>& added);

// The entry an invocation names, by offset or by verb (narrow, or wide in an extended record
// that says it is Unicode). E_INVALIDARG for an offset past the menu or an unknown verb.
HRESULT ResolveToolCommand(const std::vector<ToolCommand>& added, const CMINVOKECOMMANDINFO* info,
                           ToolCommand& command);

// GetCommandString: verbs and help texts, wide or narrow, and validation of an offset.
HRESULT CopyToolCommandString(const std::vector<ToolCommand>& added, const std::vector<std::wstring>& paths,
                              UINT_PTR offset, UINT type, char* buffer, UINT size);

}  // namespace orrelin
