#include "script_tokens.h"

#include <algorithm>
#include <utility>

namespace orrelin::regscript {

namespace {

bool IsWhiteSpace(char16_t c) noexcept
{
    return c == u'\t' || c == u'\n' || c == u'\r' || c == u' ';
}

}  // namespace

void ScriptTokenizer::SetText(std::u16string text)
{
    m_text = std::move(text);
    // The text is a NUL-ended string: anything after a NUL is not part of it.
    m_end = std::min(m_text.find(u'\0'), m_text.size());
    m_position = 0;
}

void ScriptTokenizer::Release() noexcept
{
    std::u16string().swap(m_text);
    m_end = 0;
    m_position = 0;
}

bool ScriptTokenizer::AtEnd() const noexcept
{
    return m_position >= m_end;
}

void ScriptTokenizer::SkipWhiteSpace() noexcept
{
    const char16_t* text = m_text.data();
    while (m_position < m_end && IsWhiteSpace(text[m_position])) ++m_position;
}

// Each token is found first and copied in one piece; the characters are examined once.
HResult ScriptTokenizer::ReadToken(std::u16string& token)
{
    token.clear();
    SkipWhiteSpace();
    if (AtEnd()) return kDispEException;
    const char16_t* text = m_text.data();

    if (text[m_position] != u'\'') {
        const std::size_t start = m_position;
        std::size_t end = start;
        while (end < m_end && !IsWhiteSpace(text[end])) ++end;
        const std::size_t length = std::min(end - start, kMaxTokenLength);
        token.assign(text + start, length);
        m_position = start + length;
        return end - start > kMaxTokenLength ? kDispEException : kSOk;
    }

    ++m_position;
    for (;;) {
        std::size_t run = m_position;
        while (run < m_end && text[run] != u'\'') ++run;
        const std::size_t room = kMaxTokenLength - token.size();
        if (run - m_position > room) {
            // As far as the limit, then the character that would not fit is passed too.
            token.append(text + m_position, room);
            m_position += room + 1;
            return kDispEException;
        }
        token.append(text + m_position, run - m_position);
        m_position = run;
        if (m_position >= m_end) return kDispEException;  // no closing apostrophe
        if (m_position + 1 < m_end && text[m_position + 1] == u'\'') {
            m_position += 2;
            if (token.size() >= kMaxTokenLength) return kDispEException;
            token.push_back(u'\'');
            continue;
        }
        ++m_position;
        return kSOk;
    }
}

}  // namespace orrelin::regscript
