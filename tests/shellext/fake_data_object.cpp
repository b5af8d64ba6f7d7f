#include "fake_data_object.h"

#include <shlobj.h>

#include <cstring>

STDMETHODIMP ReleaseCounter::QueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown)) {
        *object = this;
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FakeDataObject::QueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FakeDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    ++getDataCalls;
    lastFormat = *format;
    if (FAILED(failure)) {
        if (fillMediumOnFailure) *medium = STGMEDIUM{TYMED_HGLOBAL, {nullptr}, &mediumOwner};
        return failure;
    }
    if (format->cfFormat != CF_HDROP || (format->tymed & TYMED_HGLOBAL) == 0) return DV_E_FORMATETC;

    size_t characters = 1;  // the list's closing null
    for (const auto& path : m_paths) characters += path.size() + 1;
    const size_t bytes = sizeof(DROPFILES) + characters * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (memory == nullptr) return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES));
    for (const auto& path : m_paths) {
        std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        text += path.size() + 1;
    }
    GlobalUnlock(memory);
    if (unlockableMemory) {
        // A discarded (zero-byte) block: GlobalLock answers null for it.
        GlobalFree(memory);
        memory = GlobalAlloc(GMEM_MOVEABLE, 0);
    }

    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    // The medium's owner frees the memory; the receiver only releases the owner.
    mediumOwner.AddRef();
    medium->pUnkForRelease = &mediumOwner;
    return S_OK;
}
