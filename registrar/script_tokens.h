// The tokens of a registry script: white space, bare tokens and apostrophe-quoted tokens,
// read one after another from an expanded text. The interpreter reads its script through
// this; it knows nothing of statements or of the registry.
#pragma once

#include "reg_types.h"

#include <cstddef>
#include <string>

namespace orrelin::regscript {

inline constexpr std::size_t kMaxTokenLength = 4094;

class ScriptTokenizer {
public:
    // Starts reading `text` (already expanded) from its beginning.
    void SetText(std::u16string text);
    // Frees the text; reading then finds its end at once.
    void Release() noexcept;

    bool AtEnd() const noexcept;
    void SkipWhiteSpace() noexcept;
    // DISP_E_EXCEPTION when the text ends where a token is expected, a quoted token is not
    // closed, or a token would be longer than kMaxTokenLength.
    HResult ReadToken(std::u16string& token);

    // A point of the text to come back to, as registration does to undo a root block.
    std::size_t Position() const noexcept { return m_position; }
    void Rewind(std::size_t position) noexcept { m_position = position; }

private:
    std::u16string m_text;
    std::size_t m_end = 0;  // where the text ends: its first NUL, or its size
    std::size_t m_position = 0;
};

}  // namespace orrelin::regscript
