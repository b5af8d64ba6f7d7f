#include "tools_menu.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "resource.h"
#include "string_table.h"

namespace orrelin {

const wchar_t* const kFirmwareTypes[6] = {L".hex", L".ihex", L".s19", L".srec", L".mot", L".bin"};

namespace {

bool IsDfuFile(const std::wstring& path)
{
    const std::size_t dot = path.find_last_of(L".\\/");
    return dot != std::wstring::npos && path[dot] == L'.' && _wcsicmp(path.c_str() + dot, L".dfu") == 0;
}

bool IsFirmwareFile(const std::wstring& path)
{
    const std::size_t dot = path.find_last_of(L".\\/");
    if (dot == std::wstring::npos || path[dot] != L'.') return false;
    for (const wchar_t* type : kFirmwareTypes)
        if (_wcsicmp(path.c_str() + dot, type) == 0) return true;
    return false;
}

UINT TextId(ToolCommand command)
{
    switch (command) {
    case ToolCommand::kMakeDfu:
        return IDS_TOOLS_MAKE;
    case ToolCommand::kExtract:
        return IDS_TOOLS_EXTRACT;
    case ToolCommand::kCopySha256:
        return IDS_TOOLS_COPY_SHA256;
    default:
        return IDS_TOOLS_COMPARE;
    }
}

std::wstring NameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring HelpText(ToolCommand command, const std::vector<std::wstring>& paths)
{
    const std::wstring first = paths.empty() ? std::wstring() : NameOf(paths[0]);
    switch (command) {
    case ToolCommand::kMakeDfu:
        return FormatResString(IDS_TOOLS_HELP_MAKE, {first});
    case ToolCommand::kExtract:
        return FormatResString(IDS_TOOLS_HELP_EXTRACT, {first});
    case ToolCommand::kCopySha256:
        return FormatResString(IDS_TOOLS_HELP_COPY_SHA256, {first});
    default:
        return FormatResString(IDS_TOOLS_HELP_COMPARE, {first, paths.size() > 1 ? NameOf(paths[1]) : std::wstring()});
    }
}

HRESULT CopyWide(const std::wstring& text, char* buffer, UINT size)
{
    if (buffer == nullptr || size == 0) return E_INVALIDARG;
    auto* out = reinterpret_cast<wchar_t*>(buffer);
    const std::size_t count = std::min<std::size_t>(text.size(), size - 1);
    text.copy(out, count);
    out[count] = L'\0';
    return S_OK;
}

HRESULT CopyNarrow(const std::wstring& text, char* buffer, UINT size)
{
    if (buffer == nullptr || size == 0) return E_INVALIDARG;
    const int needed = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(needed > 0 ? static_cast<std::size_t>(needed) : 1, '\0');
    if (needed > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], needed, nullptr, nullptr);
    const std::size_t count = std::min<std::size_t>(std::strlen(narrow.c_str()), size - 1);
    narrow.copy(buffer, count);
    buffer[count] = '\0';
    return S_OK;
}

}  // namespace

std::vector<ToolCommand> ToolCommandsFor(const std::vector<std::wstring>& paths)
{
    if (!paths.empty() && std::all_of(paths.begin(), paths.end(), IsFirmwareFile)) return {ToolCommand::kMakeDfu};
    for (const std::wstring& path : paths)
        if (!IsDfuFile(path)) return {};
    if (paths.size() == 1) return {ToolCommand::kExtract, ToolCommand::kCopySha256};
    if (paths.size() == 2) return {ToolCommand::kCompare};
    return {};
}

std::wstring ToolText(ToolCommand command)
{
    return LoadResString(TextId(command));
}

const wchar_t* ToolVerb(ToolCommand command)
{
    switch (command) {
    case ToolCommand::kMakeDfu:
        return L"Orrelin.MakeDfuFile";
    case ToolCommand::kExtract:
        return L"Orrelin.ExtractFirmware";
    case ToolCommand::kCopySha256:
        return L"Orrelin.CopySha256";
    default:
        return L"Orrelin.Compare";
    }
}

HRESULT BuildToolsMenu(const std::vector<ToolCommand>& commands, HMENU menu, UINT index, UINT firstId, UINT lastId,
                       UINT flags, std::vector<ToolCommand>& added)
{
    added.clear();
    if ((flags & CMF_DEFAULTONLY) != 0) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    for (ToolCommand command : commands) {
        const UINT id = firstId + static_cast<UINT>(added.size());
        // An identifier past lastId belongs to the host's own commands.
        if (id < firstId || id > lastId) break;
        const std::wstring text = ToolText(command);
        if (!InsertMenuW(menu, index + static_cast<UINT>(added.size()), MF_BYPOSITION | MF_STRING, id, text.c_str())) {
            const DWORD error = GetLastError();
            for (std::size_t i = 0; i < added.size(); ++i)
                DeleteMenu(menu, firstId + static_cast<UINT>(i), MF_BYCOMMAND);
            added.clear();
            return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
        added.push_back(command);
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(added.size()));
}

HRESULT ResolveToolCommand(const std::vector<ToolCommand>& added, const CMINVOKECOMMANDINFO* info, ToolCommand& command)
{
    if (info == nullptr || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
    const auto* extended = reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info);
    const bool wide = info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX) && (info->fMask & CMIC_MASK_UNICODE) != 0 &&
                      extended->lpVerbW != nullptr;
    // An offset is a value of at most 0xFFFF; anything else is a verb.
    if (IS_INTRESOURCE(info->lpVerb)) {
        const UINT_PTR offset = reinterpret_cast<UINT_PTR>(info->lpVerb);
        if (offset >= added.size()) return E_INVALIDARG;
        command = added[offset];
        return S_OK;
    }
    std::wstring verb;
    if (wide && !IS_INTRESOURCE(extended->lpVerbW)) {
        verb = extended->lpVerbW;
    } else {
        const int needed = MultiByteToWideChar(CP_ACP, 0, info->lpVerb, -1, nullptr, 0);
        if (needed <= 0) return E_INVALIDARG;
        verb.resize(static_cast<std::size_t>(needed));
        MultiByteToWideChar(CP_ACP, 0, info->lpVerb, -1, &verb[0], needed);
        verb.resize(static_cast<std::size_t>(needed - 1));
    }
    for (ToolCommand candidate : added) {
        if (_wcsicmp(verb.c_str(), ToolVerb(candidate)) == 0) {
            command = candidate;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT CopyToolCommandString(const std::vector<ToolCommand>& added, const std::vector<std::wstring>& paths,
                              UINT_PTR offset, UINT type, char* buffer, UINT size)
{
    if (offset >= added.size()) return E_INVALIDARG;
    const ToolCommand command = added[offset];
    switch (type) {
    case GCS_VALIDATEA:
    case GCS_VALIDATEW:
        return S_OK;
    case GCS_VERBW:
        return CopyWide(ToolVerb(command), buffer, size);
    case GCS_VERBA:
        return CopyNarrow(ToolVerb(command), buffer, size);
    case GCS_HELPTEXTW:
        return CopyWide(HelpText(command, paths), buffer, size);
    case GCS_HELPTEXTA:
        return CopyNarrow(HelpText(command, paths), buffer, size);
    default:
        return E_INVALIDARG;
    }
}

}  // namespace orrelin
