#include "wizard_command_line.h"

#include "format.h"
#include "path.h"

namespace orrelin {
namespace {

constexpr wchar_t kWizardFileName[] = L"Brannoc.exe";

// The wizard's interface; the program path stands first, between quotes, as the launch
// expects.
constexpr wchar_t kDefaultForm[] = L"\"%s\" /download \"%s\"";
constexpr wchar_t kSerialForm[] = L"\"%s\" /serial \"%s\" /download \"%s\" /auto";
constexpr wchar_t kUsbForm[] = L"\"%s\" /usb \"%s\" /download \"%s\" /auto";

// The text to put between two double quotes so that standard argument parsing gives back
// exactly `value`: a quote is escaped, and so is each backslash run that would otherwise
// escape a quote (one before a quote of the value, or one at its end before the closing
// quote). A value without quotes and trailing backslashes stays as it is. Without this a
// device name could end the argument early and add switches of its own.
std::wstring QuotedArgumentText(const std::wstring& value)
{
    std::wstring text;
    text.reserve(value.size());
    size_t backslashes = 0;
    for (const wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            text.append(backslashes * 2 + 1, L'\\');
        else
            text.append(backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, L'\\');
    return text;
}

}  // namespace

std::wstring WizardPathBeside(const std::wstring& moduleFileName)
{
    return SplitPath(moduleFileName).folder + kWizardFileName;
}

std::wstring DownloadCommandLine(DownloadTarget kind, const std::wstring& wizardPath, const std::wstring& target,
                                 const std::wstring& file)
{
    // The program path is the one argument parsed without escapes (from quote to quote);
    // a path holds no quote and ends in the wizard's name, so it goes in as it is.
    const std::wstring quotedFile = QuotedArgumentText(file);
    switch (kind) {
    case DownloadTarget::Serial:
        return FormatWithValues(kSerialForm, {wizardPath, QuotedArgumentText(target), quotedFile});
    case DownloadTarget::Usb:
        return FormatWithValues(kUsbForm, {wizardPath, QuotedArgumentText(target), quotedFile});
    case DownloadTarget::Default:
        break;
    }
    return FormatWithValues(kDefaultForm, {wizardPath, quotedFile});
}

std::wstring ProgramPathOf(const std::wstring& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find(L' '));
}

}  // namespace orrelin
