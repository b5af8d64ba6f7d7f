// The status-bar help texts of the download entries.
#pragma once

#include <windows.h>

#include "string_list.h"

namespace orrelin {

// The help text of the entry at `offset`, wide or narrow as `type` asks; narrow text is
// converted with the conversion code page.
HRESULT CopyHelpText(const StringList& helpTexts, UINT_PTR offset, UINT type, char* buffer, UINT size);

// The same with the code page of narrow requests given.
HRESULT CopyHelpTextInCodePage(const StringList& helpTexts, UINT_PTR offset, UINT type, char* buffer, UINT size,
                               UINT codePage);

}  // namespace orrelin
