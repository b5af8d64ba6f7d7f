// The upgrade wizard's command lines: where the wizard stands, the line that starts it for
// one download entry, and the program path at the head of such a line.
#pragma once

#include <string>

namespace orrelin {

// Where the wizard would stand beside a module file of this name: the name's folder with
// its closing separator, then Brannoc.exe (Brannoc.exe alone when the name has no folder).
std::wstring WizardPathBeside(const std::wstring& moduleFileName);

enum class DownloadTarget { Default, Serial, Usb };

// The wizard's command line for one entry; `target` is ignored for the default entry. The
// target and the file reach the wizard's standard argument parsing as exactly one argument
// each, whatever quotes or backslashes they hold.
std::wstring DownloadCommandLine(DownloadTarget kind, const std::wstring& wizardPath, const std::wstring& target,
                                 const std::wstring& file);

// The program path at the head of a command line: the text between a leading double quote
// and the next one, else the text before the first blank.
std::wstring ProgramPathOf(const std::wstring& commandLine);

}  // namespace orrelin
