// The download targets of a .dfu file, in menu order: the default one, then one per serial
// port, then one per attached USB DFU device; and each target's menu text, help text and
// wizard command line. The classic menu and the Windows 11 command build their entries from
// these, so the two offer the same downloads with the same command lines.
#pragma once

#include <initializer_list>
#include <string>

#include "Korvex.h"
#include "wizard_command_line.h"

namespace orrelin {

struct DownloadTargetEntry {
    DownloadTarget kind = DownloadTarget::Default;
    std::wstring name;  // the port or device; empty for the default target
};

// Calls visit(target) for each target in menu order while hasRoom() says so. The engine's
// lists are asked for only while there is room left for their targets, and whatever a list
// holds is used, whatever count the engine answered.
template <typename HasRoom, typename Visit>
void ForEachDownloadTarget(HasRoom&& hasRoom, Visit&& visit)
{
    if (!hasRoom()) return;
    visit(DownloadTargetEntry{DownloadTarget::Default, std::wstring()});
    struct TargetList {
        DownloadTarget kind;
        int (*query)(CStringListX&);
    };
    for (const TargetList list : {TargetList{DownloadTarget::Serial, &Korvex::GetCOMPortNames},
                                  TargetList{DownloadTarget::Usb, &Korvex::GetUSBDeviceNames}}) {
        if (!hasRoom()) return;
        CStringListX names;
        list.query(names);
        CStringListX::POSITION position = names.GetHeadPosition();
        while (static_cast<CStringX*>(position) != nullptr && hasRoom())
            visit(DownloadTargetEntry{list.kind, std::wstring(static_cast<const wchar_t*>(names.GetNext(position)))});
    }
}

// The entry's menu text and status-bar help text, from this library's string table;
// `description` names the file (its comment, else its title).
std::wstring DownloadEntryText(const DownloadTargetEntry& target);
std::wstring DownloadEntryHelp(const DownloadTargetEntry& target, const std::wstring& description);
// The command line that starts the wizard at `wizardPath` for this target and file.
std::wstring DownloadEntryCommandLine(const DownloadTargetEntry& target, const std::wstring& wizardPath,
                                      const std::wstring& file);

}  // namespace orrelin
