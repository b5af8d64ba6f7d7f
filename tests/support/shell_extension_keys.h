// The shell extension's keys as the stored registry script (resources/Orrelin.rgs) leaves
// them, in the text form of registry_dump.h: the one picture that both the in-memory
// registry's dump and the real registry read back after regsvr32 are held against.
#pragma once

#include <string>
#include <string_view>

namespace orrelin::test {

inline constexpr char16_t kShellExtClass[] = u"{B0EC6BBF-49C8-11D5-901D-00B0D064D823}";

// How a text shows the keys: the name it gives the classes root ("HKCR", or the user's own
// classes key), and whether it dumps the whole root, which also shows the root's own line and
// the CLSID key's, or the extension's keys alone.
struct KeysView {
    std::u16string root;
    bool wholeRoot = false;
};

// What registration writes, InprocServer32 naming `modulePath` as it is.
std::string RegisteredKeys(const KeysView& view, std::u16string_view modulePath);

// What unregistration leaves: the shared keys it never removes and the info tip's
// association. Where another program keeps keys among ours, `classKeyLeft` is what remains of
// the class key and `handlersLeft` the other entries under ContextMenuHandlers, written with
// the two functions below.
std::string KeysAfterUnregistration(const KeysView& view, std::string_view classKeyLeft = {},
                                    std::string_view handlersLeft = {});

// A key's line, `path` being below the root.
std::string KeyLine(const KeysView& view, std::u16string_view path);
// A REG_SZ value's line, the text stored with its closing NUL; an empty name is the default.
std::string StringValueLine(std::u16string_view name, std::u16string_view text);

}  // namespace orrelin::test
