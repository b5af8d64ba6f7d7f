// An ordered list of wide strings, addressed by position from 0.
#pragma once

#include <string>
#include <vector>

namespace orrelin {

class StringList {
public:
    void RemoveAll() noexcept { m_items.clear(); }
    void AddTail(std::wstring text) { m_items.push_back(std::move(text)); }
    size_t GetCount() const noexcept { return m_items.size(); }
    bool IsEmpty() const noexcept { return m_items.empty(); }

    // The element at `index`, or null when the list has no such element.
    const std::wstring* Lookup(size_t index) const noexcept
    {
        return index < m_items.size() ? &m_items[index] : nullptr;
    }

    auto begin() const noexcept { return m_items.begin(); }
    auto end() const noexcept { return m_items.end(); }

private:
    std::vector<std::wstring> m_items;
};

}  // namespace orrelin
