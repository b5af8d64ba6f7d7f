#include "download_menu.h"

#include <shlobj.h>

#include <cstdint>
#include <vector>

#include "Korvex.h"
#include "download_targets.h"
#include "shared_read_file.h"
#include "wizard_launch.h"

namespace orrelin {
namespace {

// A plain string item at a position of the menu.
constexpr UINT kInsertFlags = MF_BYPOSITION | MF_STRING;
constexpr UINT kAppend = 0xFFFFFFFF;

// Adds entries with consecutive identifiers at consecutive positions (or all at the end),
// and records each entry's texts at its command offset.
class EntryWriter {
public:
    EntryWriter(HMENU menu, UINT index, UINT firstId, UINT lastId, StringList& commandLines, StringList& helpTexts)
        : m_menu(menu),
          m_position(index),
          m_step(index != kAppend ? 1 : 0),
          m_firstId(firstId),
          // Identifiers past the last one belong to the host's own commands.
          m_room(firstId <= lastId ? std::uint64_t{lastId} - firstId + 1 : 0),
          m_commandLines(commandLines),
          m_helpTexts(helpTexts)
    {
    }

    // Entries of a build that did not finish leave the menu again: the host, told of the
    // failure, hands their identifiers to the next handler, whose commands they would then
    // start.
    ~EntryWriter()
    {
        if (m_kept) return;
        for (const UINT id : m_shown) DeleteMenu(m_menu, id, MF_BYCOMMAND);
    }
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    bool HasRoom() const noexcept { return m_added < m_room; }

    void Add(const std::wstring& menuText, std::wstring commandLine, std::wstring helpText)
    {
        // The insertion's result is not consulted: an entry that could not be shown is
        // still counted and recorded, so command offsets and list indexes stay in step.
        const UINT id = m_firstId + static_cast<UINT>(m_added);
        m_shown.push_back(id);
        if (!InsertMenuW(m_menu, m_position, kInsertFlags, id, menuText.c_str())) m_shown.pop_back();
        m_position += m_step;
        ++m_added;
        m_commandLines.AddTail(std::move(commandLine));
        m_helpTexts.AddTail(std::move(helpText));
    }

    // The build finished: its entries stay.
    UINT Keep() noexcept
    {
        m_kept = true;
        return static_cast<UINT>(m_added);
    }

private:
    HMENU m_menu;
    UINT m_position;
    UINT m_step;
    UINT m_firstId;
    std::uint64_t m_room;
    std::uint64_t m_added = 0;
    std::vector<UINT> m_shown;
    bool m_kept = false;
    StringList& m_commandLines;
    StringList& m_helpTexts;
};

// The comment when there is one; else the file's title; else, when the file cannot be
// opened, its whole path.
std::wstring FileDescription(const std::wstring& path, const CStringX& comment)
{
    if (!comment.IsEmpty()) return static_cast<const wchar_t*>(comment);
    SharedReadFile file;
    if (file.Open(path)) return file.GetFileTitle();
    return path;
}

HRESULT BuildEntries(const std::wstring& selectedPath, StringList& commandLines, StringList& helpTexts, HMENU menu,
                     UINT index, UINT firstId, UINT lastId, UINT flags)
{
    if ((flags & CMF_DEFAULTONLY) != 0) return S_OK;

    const std::wstring wizard = GetWizardPath();
    if (wizard.empty()) return S_OK;

    CStringX comment;
    if (!Korvex::IsDFUFileValid(selectedPath.c_str(), comment)) return S_OK;
    const std::wstring description = FileDescription(selectedPath, comment);

    EntryWriter writer(menu, index, firstId, lastId, commandLines, helpTexts);
    ForEachDownloadTarget([&] { return writer.HasRoom(); },
                          [&](const DownloadTargetEntry& target) {
                              writer.Add(DownloadEntryText(target),
                                         DownloadEntryCommandLine(target, wizard, selectedPath),
                                         DownloadEntryHelp(target, description));
                          });

    // A success code whose value is the number of entries.
    return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_NULL, writer.Keep());
}

}  // namespace

HRESULT BuildDownloadMenu(const std::wstring& selectedPath, StringList& commandLines, StringList& helpTexts, HMENU menu,
                          UINT index, UINT firstId, UINT lastId, UINT flags)
{
    // Every call starts afresh: a call that adds nothing leaves no entry to be asked about.
    commandLines.RemoveAll();
    helpTexts.RemoveAll();
    try {
        return BuildEntries(selectedPath, commandLines, helpTexts, menu, index, firstId, lastId, flags);
    } catch (...) {
        // Lists cut off halfway could disagree on an offset; leave none rather than that.
        commandLines.RemoveAll();
        helpTexts.RemoveAll();
        throw;
    }
}

}  // namespace orrelin
