#include "script_tokens.h"

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
    m_position = 0;
}

void ScriptTokenizer::Release() noexcept
{
    std::u16string().swap(m_text);
    m_position = 0;
}

bool ScriptTokenizer::AtEnd() const noexcept
{
    // The text is a NUL-ended string: anything after a NUL is not part of it.
    return m_position >= m_text.size() || m_text[m_position] == u'\0';
}

void ScriptTokenizer::SkipWhiteSpace() noexcept
{
    while (!AtEnd() && IsWhiteSpace(m_text[m_position])) ++m_position;
}

HResult ScriptTokenizer::ReadToken(std::u16string& token)
{
    token.clear();
    SkipWhiteSpace();
    if (AtEnd()) return kDispEException;

    if (m_text[m_position] == u'\'') {
        ++m_position;
        for (;;) {
            if (AtEnd()) return kDispEException;
            const char16_t c = m_text[m_position];
            if (c == u'\'') {
                if (m_position + 1 < m_text.size() && m_text[m_position + 1] == u'\'') {
                    m_position += 2;
                } else {
                    ++m_position;
                    return kSOk;
                }
            } else {
                ++m_position;
            }
            if (token.size() >= kMaxTokenLength) return kDispEException;
            token.push_back(c);
        }
    }

    while (!AtEnd() && !IsWhiteSpace(m_text[m_position])) {
        if (token.size() >= kMaxTokenLength) return kDispEException;
        token.push_back(m_text[m_position++]);
    }
    return kSOk;
}

}  // namespace orrelin::regscript
