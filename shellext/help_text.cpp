#include "help_text.h"

#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "code_page.h"

namespace orrelin {
namespace {

// Bounded like lstrcpyn: at most size - 1 characters and a terminating null; nothing at
// all for a size of 0.
template <typename Char>
void CopyBounded(Char* buffer, UINT size, const Char* text, size_t length)
{
    if (size == 0) return;
    const size_t count = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, text, count * sizeof(Char));
    buffer[count] = Char{};
}

// The text in `codePage`, its buffer sized from what the conversion needs, so a code page
// of several bytes per character gives the whole text. False when it does not convert.
bool ToNarrow(const std::wstring& text, UINT codePage, std::string& narrow)
{
    const int needed = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    narrow.assign(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(codePage, 0, text.c_str(), -1, &narrow[0], needed, nullptr, nullptr) <= 0) return false;
    narrow.resize(std::strlen(narrow.c_str()));
    return true;
}

}  // namespace

HRESULT CopyHelpTextInCodePage(const StringList& helpTexts, UINT_PTR offset, UINT type, char* buffer, UINT size,
                               UINT codePage)
{
    // Our entries have no verb. Explorer carries a chosen entry out on a second menu by the
    // verb the first one named; a help text given as the verb would be refused there, so the
    // download would silently not start. Without a verb Explorer finds the entry itself.
    if (type == GCS_VERBW || type == GCS_VERBICONW) return E_INVALIDARG;
    // Otherwise only these two bits are consulted.
    if ((type & (GCS_HELPTEXTA | GCS_UNICODE)) == 0) return E_INVALIDARG;

    // The whole offset counts: a 64-bit value must not find an entry through its low half.
    const std::wstring* text = helpTexts.Lookup(offset);
    if (text == nullptr) return E_INVALIDARG;

    // A size of 0 only asks whether the entry exists.
    if (size == 0) return S_OK;
    if (buffer == nullptr) return E_INVALIDARG;

    if ((type & GCS_UNICODE) != 0) {
        CopyBounded(reinterpret_cast<wchar_t*>(buffer), size, text->c_str(), std::wcslen(text->c_str()));
        return S_OK;
    }

    // A text that does not convert leaves the shell's buffer as it was; still an answer.
    std::string narrow;
    if (ToNarrow(*text, codePage, narrow)) CopyBounded(buffer, size, narrow.c_str(), narrow.size());
    return S_OK;
}

HRESULT CopyHelpText(const StringList& helpTexts, UINT_PTR offset, UINT type, char* buffer, UINT size)
{
    const UINT codePage = ConversionCodePage();
    return CopyHelpTextInCodePage(helpTexts, offset, type, buffer, size, codePage);
}

}  // namespace orrelin
