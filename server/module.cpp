#include "module.h"

#include <new>

#include "application.h"
#include "module_state.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

CAtlModule* _pAtlModule = nullptr;
GUID _ModuleTypeLibraryId = {};

HINSTANCE LibraryInstance() noexcept
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

CAtlModule::CAtlModule() noexcept
{
    _pAtlModule = this;
    // Critical sections are recursive: loading type information adds a termination
    // function while it holds this lock.
    if (InitializeCriticalSectionEx(&m_csStaticDataInitAndTypeInfo, 0, 0)) cbSize = sizeof(_ATL_MODULE70);
}

CAtlModule::~CAtlModule()
{
    Term();
    if (_pAtlModule == this) _pAtlModule = nullptr;
}

LONG CAtlModule::Lock() noexcept
{
    return InterlockedIncrement(&m_nLockCnt);
}

LONG CAtlModule::Unlock() noexcept
{
    return InterlockedDecrement(&m_nLockCnt);
}

LONG CAtlModule::GetLockCount() noexcept
{
    return m_nLockCnt;
}

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** table) noexcept
{
    if (table == nullptr) return E_POINTER;
    *table = nullptr;
    if (m_pGIT == nullptr) {
        EnterDataLock();
        if (m_pGIT == nullptr) {
            IGlobalInterfaceTable* created = nullptr;
            const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                                IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&created));
            if (FAILED(hr)) {
                LeaveDataLock();
                return hr;
            }
            m_pGIT = created;
        }
        LeaveDataLock();
    }
    m_pGIT->AddRef();
    *table = static_cast<IGlobalInterfaceTable*>(static_cast<void*>(m_pGIT));
    return S_OK;
}

HRESULT CAtlModule::AddTermFunc(TermFunc function, DWORD_PTR argument) noexcept
{
    auto* node = new (std::nothrow) TermFuncNode{function, argument, nullptr};
    if (node == nullptr) return E_OUTOFMEMORY;
    EnterDataLock();
    node->next = m_pTermFuncs;
    m_pTermFuncs = node;
    LeaveDataLock();
    return S_OK;
}

void CAtlModule::Term() noexcept
{
    if (cbSize == 0) return;
    // Runs during process detach, when no other thread can be inside the library.
    for (TermFuncNode* node = m_pTermFuncs; node != nullptr;) {
        TermFuncNode* next = node->next;
        node->function(node->argument);
        delete node;
        node = next;
    }
    m_pTermFuncs = nullptr;
    if (m_pGIT != nullptr) {
        m_pGIT->Release();
        m_pGIT = nullptr;
    }
    DeleteCriticalSection(&m_csStaticDataInitAndTypeInfo);
    cbSize = 0;
}

HRESULT CComModule::Init(ObjectMapEntry* objectMap, HINSTANCE, const GUID* libraryId) noexcept
{
    if (libraryId != nullptr) _ModuleTypeLibraryId = *libraryId;
    m_pObjMap = objectMap;
    for (ObjectMapEntry* entry = m_pObjMap; entry != nullptr && entry->classId != nullptr; ++entry)
        if (entry->classInitTerm != nullptr) entry->classInitTerm(true);
    return S_OK;
}

void CComModule::Term() noexcept
{
    for (ObjectMapEntry* entry = m_pObjMap; entry != nullptr && entry->classId != nullptr; ++entry) {
        if (entry->classObject != nullptr) {
            entry->classObject->Release();
            entry->classObject = nullptr;
        }
        if (entry->classInitTerm != nullptr) entry->classInitTerm(false);
    }
    CAtlModule::Term();
}

HRESULT CComModule::GetClassObject(REFCLSID classId, REFIID iid, void** object) noexcept
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    HRESULT hr = S_OK;
    for (ObjectMapEntry* entry = m_pObjMap; entry != nullptr && entry->classId != nullptr; ++entry) {
        if (entry->getClassObject == nullptr || !IsEqualCLSID(classId, *entry->classId)) continue;
        // Tested again inside the lock, so two threads never create two factories.
        if (entry->classObject == nullptr) {
            if (_ComModule.cbSize == 0) return E_UNEXPECTED;
            EnterCriticalSection(&_ComModule.objectMapLock);
            if (entry->classObject == nullptr)
                hr = entry->getClassObject(reinterpret_cast<void*>(entry->createInstance), IID_IUnknown,
                                           reinterpret_cast<void**>(&entry->classObject));
            LeaveCriticalSection(&_ComModule.objectMapLock);
        }
        if (entry->classObject != nullptr) hr = entry->classObject->QueryInterface(iid, object);
        break;
    }
    if (*object == nullptr && hr == S_OK) hr = _ComModule.cbSize == 0 ? E_UNEXPECTED : CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

ComModuleRecord::ComModuleRecord() noexcept : typeLibraryInstance(LibraryInstance())
{
    if (InitializeCriticalSectionEx(&objectMapLock, 0, 0)) cbSize = sizeof(ComModuleRecord);
}

ComModuleRecord::~ComModuleRecord()
{
    if (cbSize != 0) DeleteCriticalSection(&objectMapLock);
    cbSize = 0;
}

HRESULT CanUnloadModuleNow() noexcept
{
    orrelin::ModuleStateGuard guard;
    if (orrelin::ApplicationCanUnloadNow() != S_OK) return S_FALSE;
    return _pAtlModule != nullptr && _pAtlModule->GetLockCount() == 0 ? S_OK : S_FALSE;
}
