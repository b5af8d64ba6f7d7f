// CStringX and CStringListX. Callers in other modules run these members, so none of them
// may throw: an allocation that fails leaves the object as it was (or empty, when it is
// being created) rather than letting an exception unwind into the caller's frames.
#include "Korvex.h"
#include "korvex_lists.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// The text of every empty string; never written and never freed.
wchar_t g_emptyText[1] = {L'\0'};

wchar_t* CopyText(const wchar_t* text, std::size_t length)
{
    if (length == 0) return g_emptyText;
    if (length > (static_cast<std::size_t>(-1) / sizeof(wchar_t)) - 1) return nullptr;
    auto* copy = static_cast<wchar_t*>(std::malloc((length + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        std::memcpy(copy, text, length * sizeof(wchar_t));
        copy[length] = L'\0';
    }
    return copy;
}

void FreeText(wchar_t* text)
{
    if (text != g_emptyText) std::free(text);
}

}  // namespace

CStringX::CStringX() : m_text(g_emptyText), m_length(0) {}

CStringX::CStringX(const CStringX& other) : m_text(g_emptyText), m_length(0)
{
    if (wchar_t* copy = CopyText(other.m_text, other.m_length)) {
        m_text = copy;
        m_length = other.m_length;
    }
}

CStringX::~CStringX()
{
    FreeText(m_text);
}

CStringX& CStringX::operator=(const wchar_t* text)
{
    const std::size_t length = text != nullptr ? std::wcslen(text) : 0;
    // Copy before freeing: text may point into this string's own buffer.
    if (wchar_t* copy = CopyText(text, length)) {
        FreeText(m_text);
        m_text = copy;
        m_length = length;
    }
    return *this;
}

CStringX& CStringX::operator=(const CStringX& other)
{
    if (this != &other) {
        if (wchar_t* copy = CopyText(other.m_text, other.m_length)) {
            FreeText(m_text);
            m_text = copy;
            m_length = other.m_length;
        }
    }
    return *this;
}

bool CStringX::IsEmpty() const
{
    return m_length == 0;
}

CStringX::operator const wchar_t*() const
{
    return m_text;
}

struct CStringListX::Node {
    CStringX value;
    Node* next = nullptr;
};

CStringListX::POSITION::POSITION() : m_node(nullptr) {}

CStringListX::POSITION::POSITION(Node* node) : m_node(node) {}

CStringListX::POSITION::operator CStringX*() const
{
    return m_node != nullptr ? &m_node->value : nullptr;
}

CStringListX::CStringListX() : m_head(nullptr), m_tail(nullptr), m_count(0) {}

CStringListX::~CStringListX()
{
    RemoveAll();
}

CStringListX::POSITION CStringListX::GetHeadPosition() const
{
    return POSITION(m_head);
}

CStringX& CStringListX::GetNext(POSITION& position) const
{
    Node* node = position.m_node;
    position.m_node = node->next;
    return node->value;
}

void CStringListX::AddTail(const wchar_t* text)
{
    Node* node = new (std::nothrow) Node;
    if (node == nullptr) return;
    node->value = text;
    if (node->value.IsEmpty() && text != nullptr && *text != L'\0') {
        delete node;  // the text could not be copied; keep the list as it was
        return;
    }
    if (m_tail != nullptr)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
}

void CStringListX::RemoveAll()
{
    Node* node = m_head;
    while (node != nullptr) {
        Node* next = node->next;
        delete node;
        node = next;
    }
    m_head = nullptr;
    m_tail = nullptr;
    m_count = 0;
}

int CStringListX::GetCount() const
{
    return m_count;
}

namespace korvex {

int ReplaceListContents(CStringListX& list, const std::vector<std::wstring>& names)
{
    list.RemoveAll();
    for (const std::wstring& name : names) list.AddTail(name.c_str());
    return list.GetCount();
}

}  // namespace korvex
