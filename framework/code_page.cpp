#include "code_page.h"

#include <cstdlib>

namespace orrelin {
namespace {

UINT LocaleAnsiCodePage() noexcept
{
    char digits[7] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof(digits)) != 0) {
        const UINT codePage = static_cast<UINT>(std::strtoul(digits, nullptr, 10));
        if (codePage != 0) return codePage;
    }
    return GetACP();
}

}  // namespace

UINT ConversionCodePageSelector::CodePage() noexcept
{
    if (m_mode == Unsettled) {
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        const bool modernNt = m_query(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5;
        InterlockedExchange(&m_mode, modernNt ? ThreadAnsi : LocaleAnsi);
    }
    return m_mode == ThreadAnsi ? CP_THREAD_ACP : LocaleAnsiCodePage();
}

UINT ConversionCodePage() noexcept
{
    static ConversionCodePageSelector selector;
    return selector.CodePage();
}

}  // namespace orrelin
