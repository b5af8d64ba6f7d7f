// Helpers for the context-menu tests: the program's own folder (which holds the engine's
// test double and the stand-in wizard), real menus read back, the wizard's start records,
// a count of started processes and a watch on message boxes.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KorvexDouble.h"
#include "registered_library.h"
#include "string_list.h"

namespace menutest {

using orrelin::test::ProgramFolder;
std::wstring WizardBesideProgram();
std::wstring CurrentFolder();

// A fresh, empty folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }  // with its closing backslash
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring m_path;
};

void SetPorts(const std::vector<std::wstring>& names);
void SetDevices(const std::vector<std::wstring>& names);

// Each test starts from the double's defaults: every file valid, no comment, no targets.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { KorvexDouble_Reset(); }
};

struct MenuItem {
    UINT id;
    std::wstring text;
    bool operator==(const MenuItem& other) const { return id == other.id && text == other.text; }
};
void PrintTo(const MenuItem& item, std::ostream* out);

// A popup menu holding `hostItems` entries of the host ("Host 0", ...: identifiers 1, 2, ...).
class PopupMenu {
public:
    explicit PopupMenu(int hostItems = 0);
    ~PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;
    HMENU get() const { return m_menu; }
    std::vector<MenuItem> Items() const;

private:
    HMENU m_menu;
};
MenuItem HostItem(int number);

std::vector<std::wstring> Items(const orrelin::StringList& list);
std::vector<std::wstring> ParseArguments(const std::wstring& commandLine);
// The system's message for `code` with its inserts left as they are; empty when it has none.
std::wstring SystemMessage(DWORD code);

// One start of the stand-in wizard, as it recorded it.
struct WizardStart {
    DWORD processId = 0;
    DWORD startupFlags = 0;
    std::wstring currentFolder;
    std::wstring commandLine;
};

// Points the wizards this program starts at a record file of its own while it lives.
class WizardRecord {
public:
    WizardRecord();
    ~WizardRecord();
    WizardRecord(const WizardRecord&) = delete;
    WizardRecord& operator=(const WizardRecord&) = delete;
    std::vector<WizardStart> Read() const;
    // The records once at least `count` are complete, or what there is after 20 s.
    std::vector<WizardStart> WaitFor(size_t count) const;

private:
    std::wstring m_path;
};

void WaitForExit(const std::vector<WizardStart>& starts);

// Moves the wizard beside this program out of the way; puts it back on destruction.
class WizardAway {
public:
    WizardAway();
    ~WizardAway();
    WizardAway(const WizardAway&) = delete;
    WizardAway& operator=(const WizardAway&) = delete;
    // Puts a file that is not a program in the wizard's place.
    void PlaceNonProgram() const;
};

// Processes started by this program so far: it runs in a job of its own that every process
// it starts joins, so the count is exact the moment a start returns.
DWORD ProcessesStarted();

struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    std::vector<int> visibleButtons;
    HICON icon = nullptr;
};

// Reads every message box this thread shows as it comes up, then presses its OK button.
class MessageBoxWatch {
public:
    MessageBoxWatch();
    ~MessageBoxWatch();
    MessageBoxWatch(const MessageBoxWatch&) = delete;
    MessageBoxWatch& operator=(const MessageBoxWatch&) = delete;
    const std::vector<MessageBoxSeen>& Seen() const { return m_seen; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook;
    std::vector<MessageBoxSeen> m_seen;
};

std::vector<std::wstring> Lines(const std::wstring& text);

}  // namespace menutest
