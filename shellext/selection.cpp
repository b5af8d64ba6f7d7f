#include "selection.h"

#include <shellapi.h>

namespace orrelin {
namespace {

// A medium released once obtained. A data object that fails keeps whatever it may have
// written there: releasing it would free what the data object still owns.
class ReleasedMedium {
public:
    ReleasedMedium() noexcept { m_medium = STGMEDIUM{TYMED_HGLOBAL, {nullptr}, nullptr}; }
    ~ReleasedMedium()
    {
        if (m_obtained) ReleaseStgMedium(&m_medium);
    }
    ReleasedMedium(const ReleasedMedium&) = delete;
    ReleasedMedium& operator=(const ReleasedMedium&) = delete;
    STGMEDIUM* get() noexcept { return &m_medium; }
    void Obtained() noexcept { m_obtained = true; }

private:
    STGMEDIUM m_medium;
    bool m_obtained = false;
};

class LockedGlobal {
public:
    explicit LockedGlobal(HGLOBAL memory) noexcept : m_memory(memory), m_pointer(GlobalLock(memory)) {}
    ~LockedGlobal()
    {
        if (m_pointer != nullptr) GlobalUnlock(m_memory);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    void* get() const noexcept { return m_pointer; }

private:
    HGLOBAL m_memory;
    void* m_pointer;
};

}  // namespace

HRESULT ReadSingleSelectedFile(IDataObject* data, std::wstring& path)
{
    if (data == nullptr) return E_INVALIDARG;

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ReleasedMedium medium;
    if (FAILED(data->GetData(&format, medium.get()))) return E_INVALIDARG;
    medium.Obtained();

    LockedGlobal list(medium.get()->hGlobal);
    if (list.get() == nullptr) return E_INVALIDARG;
    const auto drop = static_cast<HDROP>(list.get());
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != 1) return E_INVALIDARG;

    // The whole path, however long: a path cut short would name another file.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0) return E_INVALIDARG;
    std::wstring selected(length + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, 0, selected.data(), length + 1);
    if (copied == 0) return E_INVALIDARG;
    selected.resize(copied);
    path = std::move(selected);
    return S_OK;
}

HRESULT ReadSelectedFiles(IDataObject* data, std::vector<std::wstring>& paths)
{
    if (data == nullptr) return E_INVALIDARG;

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ReleasedMedium medium;
    if (FAILED(data->GetData(&format, medium.get()))) return E_INVALIDARG;
    medium.Obtained();

    LockedGlobal list(medium.get()->hGlobal);
    if (list.get() == nullptr) return E_INVALIDARG;
    const auto drop = static_cast<HDROP>(list.get());
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return E_INVALIDARG;

    std::vector<std::wstring> selected;
    selected.reserve(count);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) return E_INVALIDARG;
        std::wstring path(length + 1, L'\0');
        const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
        if (copied == 0) return E_INVALIDARG;
        path.resize(copied);
        selected.push_back(std::move(path));
    }
    paths = std::move(selected);
    return S_OK;
}

}  // namespace orrelin
