#include "dispatch.h"

#include <cstdlib>
#include <cstring>

#include "handles.h"
#include "hresult.h"
#include "scoped_lock.h"

using orrelin::ComPtr;
using orrelin::ScopedLock;

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT, LCID lcid, ITypeInfo** info) noexcept
{
    if (info == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    if (m_typeInfo == nullptr) hr = LoadTypeInfo(lcid);
    // Read once: another thread may set the description between two reads, and the answer
    // must be the pointer it counted.
    ITypeInfo* const loaded = m_typeInfo;
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
    if (m_typeInfo == nullptr || m_nameCache == nullptr) hr = LoadTypeInfo(lcid);
    if (m_typeInfo == nullptr) return hr;

    if (m_nameCache != nullptr && count == 1 && names != nullptr && names[0] != nullptr && ids != nullptr) {
        const int length = lstrlenW(names[0]);
        for (int i = m_nameCount - 1; i >= 0; --i) {
            const NameCacheEntry& entry = m_nameCache[i];
            if (entry.length == length && entry.name != nullptr &&
                std::memcmp(entry.name, names[0], static_cast<size_t>(length) * sizeof(wchar_t)) == 0) {
                ids[0] = entry.dispid;
                return S_OK;
            }
        }
    }
    return m_typeInfo->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* instance, DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept
{
    HRESULT hr = S_OK;
    if (m_typeInfo == nullptr || m_nameCache == nullptr) hr = LoadTypeInfo(lcid);
    if (m_typeInfo == nullptr) return hr;
    return m_typeInfo->Invoke(instance, id, flags, params, result, exception, argumentError);
}

HRESULT CComTypeInfoHolder::LoadTypeInfo(LCID lcid) noexcept
{
    if (m_typeInfo != nullptr && m_nameCache != nullptr) return S_OK;

    ScopedLock lock(g_currentModule->DataLock());
    HRESULT hr = E_FAIL;
    if (m_typeInfo == nullptr) {
        ComPtr<ITypeLib> library;
        hr = LoadRegTypeLib(*m_libraryId, m_majorVersion, m_minorVersion, lcid, library.put());
        if (SUCCEEDED(hr)) {
            ComPtr<ITypeInfo> info;
            hr = library->GetTypeInfoOfGuid(*m_interfaceId, info.put());
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
                m_typeInfo = kept.detach();
                g_currentModule->AddTermFunc(&CComTypeInfoHolder::Cleanup, reinterpret_cast<DWORD_PTR>(this));
            }
        }
    } else {
        hr = S_OK;  // another thread loaded it meanwhile
    }
    if (m_typeInfo != nullptr && m_nameCache == nullptr) hr = LoadNameCache(m_typeInfo);
    return hr;
}

HRESULT CComTypeInfoHolder::LoadNameCache(ITypeInfo* info) noexcept
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return S_OK;
    m_nameCount = attributes->cFuncs;
    m_nameCache = nullptr;
    if (m_nameCount != 0) {
        auto* map = static_cast<NameCacheEntry*>(std::calloc(static_cast<size_t>(m_nameCount), sizeof(NameCacheEntry)));
        if (map == nullptr) {
            info->ReleaseTypeAttr(attributes);
            return E_OUTOFMEMORY;
        }
        for (int i = 0; i < m_nameCount; ++i) {
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
        m_nameCache = map;
    }
    info->ReleaseTypeAttr(attributes);
    return S_OK;
}

void WINAPI CComTypeInfoHolder::Cleanup(DWORD_PTR argument) noexcept
{
    auto* holder = reinterpret_cast<CComTypeInfoHolder*>(argument);
    if (holder->m_typeInfo != nullptr) {
        holder->m_typeInfo->Release();
        holder->m_typeInfo = nullptr;
    }
    if (holder->m_nameCache != nullptr) {
        for (int i = 0; i < holder->m_nameCount; ++i) SysFreeString(holder->m_nameCache[i].name);
        std::free(holder->m_nameCache);
        holder->m_nameCache = nullptr;
    }
}
