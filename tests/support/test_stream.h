// A read-only stream over bytes, as a host hands a handler a file: it can fail every read
// past a point, name a file in its Stat, and counts the reads it answered.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace orrelin::test {

class TestStream : public IStream {
public:
    // `name`: what Stat gives as pwcsName when asked for it; null for none.
    TestStream(std::string bytes, ULONGLONG failAt, const wchar_t* name = nullptr)
        : m_bytes(std::move(bytes)), m_failAt(failAt), m_name(name != nullptr ? name : L""), m_named(name != nullptr)
    {
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IStream) && !IsEqualIID(iid, IID_ISequentialStream))
            return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override
    {
        ++m_reads;
        if (m_at + count > m_failAt) return STG_E_READFAULT;
        const ULONG n = static_cast<ULONG>(std::min<ULONGLONG>(count, m_bytes.size() - m_at));
        std::memcpy(buffer, m_bytes.data() + m_at, n);
        m_at += n;
        if (read != nullptr) *read = n;
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        if (origin != STREAM_SEEK_SET) return E_NOTIMPL;
        m_at = static_cast<ULONGLONG>(move.QuadPart);
        if (position != nullptr) position->QuadPart = m_at;
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG* status, DWORD flags) override
    {
        *status = STATSTG{};
        status->type = STGTY_STREAM;
        status->cbSize.QuadPart = m_bytes.size();
        if (m_named && (flags & STATFLAG_NONAME) == 0) {
            const std::size_t size = (m_name.size() + 1) * sizeof(wchar_t);
            status->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(size));
            if (status->pwcsName == nullptr) return E_OUTOFMEMORY;
            std::memcpy(status->pwcsName, m_name.c_str(), size);
        }
        return S_OK;
    }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }
    ULONG References() const { return m_references; }
    int Reads() const { return m_reads; }

private:
    std::string m_bytes;
    ULONGLONG m_failAt;
    std::wstring m_name;
    bool m_named;
    ULONGLONG m_at = 0;
    ULONG m_references = 1;
    int m_reads = 0;
};

}  // namespace orrelin::test
