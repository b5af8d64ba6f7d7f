#include "shell_extension_keys.h"

#include "registry_dump.h"

namespace orrelin::test {
namespace {

// The keys as a dump of the whole root shows them, in its order; <root> stands for the root's
// name, <module> for the module path. Unregistration keeps the first and the third part.
constexpr std::string_view kRootAndFileType = R"(<root>
<root>\.dfu
  @ = REG_SZ "dfufile\0"
<root>\.dfu\shellex
<root>\.dfu\shellex\{00021500-0000-0000-C000-000000000046}
  @ = REG_SZ "{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\0"
<root>\CLSID
)";

constexpr std::string_view kClassKey = R"(<root>\CLSID\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}
  @ = REG_SZ "DFUShellExt Class\0"
<root>\CLSID\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\InprocServer32
  @ = REG_SZ "<module>\0"
  ThreadingModel = REG_SZ "Apartment\0"
<root>\CLSID\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\ProgID
  @ = REG_SZ "Orrelin.DFUShellExt.1\0"
<root>\CLSID\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\Programmable
<root>\CLSID\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\TypeLib
  @ = REG_SZ "{B0EC6BB1-49C8-11D5-901D-00B0D064D823}\0"
<root>\CLSID\{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\VersionIndependentProgID
  @ = REG_SZ "Orrelin.DFUShellExt\0"
)";

constexpr std::string_view kMenuHandlers = R"(<root>\dfufile
<root>\dfufile\ShellEx
<root>\dfufile\ShellEx\ContextMenuHandlers
)";

constexpr std::string_view kMenuEntry = R"(<root>\dfufile\ShellEx\ContextMenuHandlers\Orrelin.DFUShellExt
  @ = REG_SZ "{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\0"
)";

constexpr std::string_view kProgIds = R"(<root>\Orrelin.DFUShellExt
  @ = REG_SZ "DFUShellExt Class\0"
<root>\Orrelin.DFUShellExt\CLSID
  @ = REG_SZ "{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\0"
<root>\Orrelin.DFUShellExt\CurVer
  @ = REG_SZ "Orrelin.DFUShellExt.1\0"
<root>\Orrelin.DFUShellExt.1
  @ = REG_SZ "DFUShellExt Class\0"
<root>\Orrelin.DFUShellExt.1\CLSID
  @ = REG_SZ "{B0EC6BBF-49C8-11D5-901D-00B0D064D823}\0"
)";

void ReplaceAll(std::string& text, std::string_view placeholder, const std::string& value)
{
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

// The root's and CLSID's own lines stay only in the dump of a whole root.
std::string Fill(std::string_view keys, const KeysView& view, std::u16string_view modulePath = {})
{
    std::string out;
    for (size_t at = 0; at < keys.size();) {
        const size_t end = keys.find('\n', at) + 1;
        const std::string_view line = keys.substr(at, end - at);
        at = end;
        if (!view.wholeRoot && (line == "<root>\n" || line == "<root>\\CLSID\n")) continue;
        std::string filled(line);
        ReplaceAll(filled, "<module>", regscript::EscapeText(modulePath));
        ReplaceAll(filled, "<root>", regscript::EscapeKeyPath(view.root));
        out += filled;
    }
    return out;
}

}  // namespace

std::string RegisteredKeys(const KeysView& view, std::u16string_view modulePath)
{
    return Fill(kRootAndFileType, view) + Fill(kClassKey, view, modulePath) + Fill(kMenuHandlers, view) +
           Fill(kMenuEntry, view) + Fill(kProgIds, view);
}

std::string KeysAfterUnregistration(const KeysView& view, std::string_view classKeyLeft, std::string_view handlersLeft)
{
    return Fill(kRootAndFileType, view) + std::string(classKeyLeft) + Fill(kMenuHandlers, view) +
           std::string(handlersLeft);
}

std::string KeyLine(const KeysView& view, std::u16string_view path)
{
    return regscript::EscapeKeyPath(view.root + u"\\" + std::u16string(path)) + "\n";
}

std::string StringValueLine(std::u16string_view name, std::u16string_view text)
{
    return "  " + (name.empty() ? std::string("@") : regscript::EscapeText(name)) + " = REG_SZ \"" +
           regscript::EscapeText(text) + "\\0\"\n";
}

}  // namespace orrelin::test
