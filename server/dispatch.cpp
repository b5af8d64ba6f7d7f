#include "dispatch.h"

#include <cstdlib>
#include <cstring>

#include "handles.h"
#include "hresult.h"

using orrelin::ComPtr;

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT, LCID lcid, ITypeInfo** info) noexcept
{
    if (info == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    if (m_pInfo == nullptr) hr = GetTI(lcid);
    // Read once: another thread may set the description between two reads, and the answer
    // must be the pointer it counted.
    ITypeInfo* const loaded = m_pInfo;
    *info = loaded;
    if (loaded != nullptr) {
        loaded->AddRef();
        hr = S_OK;
    }
    return hr;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept
{
    HRESULT hr = S_OK;
    if (m_pInfo == nullptr || m_pMap == nullptr) hr = GetTI(lcid);
    if (m_pInfo == nullptr) return hr;

    if (m_pMap != nullptr && count == 1 && names != nullptr && names[0] != nullptr && ids != nullptr) {
        const int length = lstrlenW(names[0]);
        for (int i = m_nCount - 1; i >= 0; --i) {
            const NameCacheEntry& entry = m_pMap[i];
            if (entry.length == length && entry.name != nullptr &&
                std::memcmp(entry.name, names[0], static_cast<size_t>(length) * sizeof(wchar_t)) == 0) {
                ids[0] = entry.dispid;
                return S_OK;
            }
        }
    }
    return m_pInfo->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* instance, DISPID id, REFIID, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) noexcept
{
    HRESULT hr = S_OK;
    if (m_pInfo == nullptr || m_pMap == nullptr) hr = GetTI(lcid);
    if (m_pInfo == nullptr) return hr;
    return m_pInfo->Invoke(instance, id, flags, params, result, exception, argumentError);
}

HRESULT CComTypeInfoHolder::GetTI(LCID lcid) noexcept
{
    if (m_pInfo != nullptr && m_pMap != nullptr) return S_OK;

    _pAtlModule->EnterDataLock();
    HRESULT hr = E_FAIL;
    if (m_pInfo == nullptr) {
        ComPtr<ITypeLib> library;
        hr = LoadRegTypeLib(*m_plibid, m_wMajor, m_wMinor, lcid, library.put());
        if (SUCCEEDED(hr)) {
            ComPtr<ITypeInfo> info;
            hr = library->GetTypeInfoOfGuid(*m_pguid, info.put());
            if (SUCCEEDED(hr)) {
                // A type description may be a face of another object; keep that object's own
                // ITypeInfo so the one held is the object's identity.
                ComPtr<ITypeInfo> kept = info;
                ComPtr<ITypeInfo2> info2;
                if (SUCCEEDED(info->QueryInterface(IID_ITypeInfo2, info2.put_void()))) {
                    ComPtr<IUnknown> first;
                    ComPtr<IUnknown> second;
                    info->QueryInterface(IID_IUnknown, first.put_void());
                    info2->QueryInterface(IID_IUnknown, second.put_void());
                    ComPtr<ITypeInfo> other;
                    if (first.get() != second.get() &&
                        SUCCEEDED(info2->QueryInterface(IID_ITypeInfo, other.put_void())))
                        kept = other;
                }
                m_pInfo = kept.detach();
                _pAtlModule->AddTermFunc(&CComTypeInfoHolder::Cleanup, reinterpret_cast<DWORD_PTR>(this));
            }
        }
    } else {
        hr = S_OK;  // another thread loaded it meanwhile
    }
    if (m_pInfo != nullptr && m_pMap == nullptr) hr = LoadNameCache(m_pInfo);
    _pAtlModule->LeaveDataLock();
    return hr;
}

HRESULT CComTypeInfoHolder::LoadNameCache(ITypeInfo* info) noexcept
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return S_OK;
    m_nCount = attributes->cFuncs;
    m_pMap = nullptr;
    if (m_nCount != 0) {
        auto* map = static_cast<NameCacheEntry*>(std::calloc(static_cast<size_t>(m_nCount), sizeof(NameCacheEntry)));
        if (map == nullptr) {
            info->ReleaseTypeAttr(attributes);
            return E_OUTOFMEMORY;
        }
        for (int i = 0; i < m_nCount; ++i) {
            map[i] = NameCacheEntry{nullptr, 0, -1};
            FUNCDESC* function = nullptr;
            if (FAILED(info->GetFuncDesc(static_cast<UINT>(i), &function))) continue;
            BSTR name = nullptr;
            if (SUCCEEDED(info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
                map[i].name = name;
                map[i].length = static_cast<int>(SysStringLen(name));
                map[i].dispid = function->memid;
            }
            info->ReleaseFuncDesc(function);
        }
        m_pMap = map;
    }
    info->ReleaseTypeAttr(attributes);
    return S_OK;
}

void WINAPI CComTypeInfoHolder::Cleanup(DWORD_PTR argument) noexcept
{
    auto* holder = reinterpret_cast<CComTypeInfoHolder*>(argument);
    if (holder->m_pInfo != nullptr) {
        holder->m_pInfo->Release();
        holder->m_pInfo = nullptr;
    }
    if (holder->m_pMap != nullptr) {
        for (int i = 0; i < holder->m_nCount; ++i) SysFreeString(holder->m_pMap[i].name);
        std::free(holder->m_pMap);
        holder->m_pMap = nullptr;
    }
}

HRESULT LoadTypeLibraryOfModule(HINSTANCE module, BSTR* path, ITypeLib** library) noexcept
{
    if (path == nullptr || library == nullptr) return E_POINTER;
    *path = nullptr;
    *library = nullptr;

    wchar_t fileName[MAX_PATH + 10];
    const DWORD length = GetModuleFileNameW(module, fileName, MAX_PATH);
    if (length == 0) return orrelin::HResultFromLastError();
    if (length == MAX_PATH) return orrelin::HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    fileName[length] = L'\0';

    // The extension starts at the last '.' after the last backslash, else at the end.
    wchar_t* extension = nullptr;
    for (wchar_t* p = fileName; *p != L'\0'; p = CharNextW(p)) {
        if (*p == L'.')
            extension = p;
        else if (*p == L'\\')
            extension = nullptr;
    }
    if (extension == nullptr) extension = fileName + length;

    HRESULT hr = LoadTypeLib(fileName, library);
    if (FAILED(hr)) {
        if ((extension - fileName) + 5 > MAX_PATH) return E_FAIL;
        lstrcpyW(extension, L".tlb");
        hr = LoadTypeLib(fileName, library);
        if (FAILED(hr)) return hr;
    }
    *path = SysAllocString(fileName);
    if (*path == nullptr) return E_OUTOFMEMORY;
    return S_OK;
}
