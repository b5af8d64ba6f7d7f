#include "download_targets.h"

#include "resource.h"
#include "string_table.h"

namespace orrelin {

std::wstring DownloadEntryText(const DownloadTargetEntry& target)
{
    switch (target.kind) {
    case DownloadTarget::Serial:
        return FormatResString(IDS_MENU_DOWNLOAD_SERIAL, {target.name});
    case DownloadTarget::Usb:
        return FormatResString(IDS_MENU_DOWNLOAD_USB, {target.name});
    case DownloadTarget::Default:
        break;
    }
    return LoadResString(IDS_MENU_DOWNLOAD);
}

std::wstring DownloadEntryHelp(const DownloadTargetEntry& target, const std::wstring& description)
{
    switch (target.kind) {
    case DownloadTarget::Serial:
        return FormatResString(IDS_HELP_DOWNLOAD_SERIAL, {description, target.name});
    case DownloadTarget::Usb:
        return FormatResString(IDS_HELP_DOWNLOAD_USB, {description, target.name});
    case DownloadTarget::Default:
        break;
    }
    return FormatResString(IDS_HELP_DOWNLOAD, {description});
}

std::wstring DownloadEntryCommandLine(const DownloadTargetEntry& target, const std::wstring& wizardPath,
                                      const std::wstring& file)
{
    return DownloadCommandLine(target.kind, wizardPath, target.name, file);
}

}  // namespace orrelin
