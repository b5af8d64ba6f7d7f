// A selection's data object as the shell hands it over: an HGLOBAL drop list of paths,
// with counters that show whether the receiver released what it was given.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

class ReleaseCounter : public IUnknown {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++references); }
    STDMETHOD_(ULONG, Release)() override
    {
        ++releases;
        return static_cast<ULONG>(--references);
    }
    LONG references = 1;
    int releases = 0;
};

class FakeDataObject : public IDataObject {
public:
    explicit FakeDataObject(std::vector<std::wstring> paths) : m_paths(std::move(paths)) {}

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++m_references); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--m_references); }

    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

    // What a GetData call answers when it is not the drop list.
    HRESULT failure = S_OK;
    // On failure, still fill the medium, naming mediumOwner as its release object.
    bool fillMediumOnFailure = false;
    // Hand out a medium whose memory cannot be locked.
    bool unlockableMemory = false;
    int getDataCalls = 0;
    FORMATETC lastFormat = {};
    // Counts the receiver's ReleaseStgMedium through the medium's release object.
    ReleaseCounter mediumOwner;
    LONG references() const { return m_references; }

private:
    std::vector<std::wstring> m_paths;
    LONG m_references = 1;
};
