#include "module.h"

#include <new>

#include "application_base.h"
#include "hresult.h"
#include "module_state.h"
#include "scoped_lock.h"

using orrelin::ScopedLock;

extern "C" IMAGE_DOS_HEADER __ImageBase;

CAtlModule* g_currentModule = nullptr;
GUID g_moduleTypeLibraryId = {};

HINSTANCE LibraryInstance() noexcept
{
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

CAtlModule::CAtlModule() noexcept
{
    g_currentModule = this;
    // Critical sections are recursive: loading type information adds a termination
    // function while it holds this lock.
    if (InitializeCriticalSectionEx(&dataLock, 0, 0)) recordSize = sizeof(_ATL_MODULE70);
}

CAtlModule::~CAtlModule()
{
    Term();
    if (g_currentModule == this) g_currentModule = nullptr;
}

LONG CAtlModule::Lock() noexcept
{
    return InterlockedIncrement(&lockCount);
}

LONG CAtlModule::Unlock() noexcept
{
    return InterlockedDecrement(&lockCount);
}

LONG CAtlModule::GetLockCount() noexcept
{
    return lockCount;
}

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** table) noexcept
{
    if (table == nullptr) return E_POINTER;
    *table = nullptr;
    if (globalInterfaceTable == nullptr) {
        ScopedLock lock(dataLock);
        if (globalInterfaceTable == nullptr) {
            IGlobalInterfaceTable* created = nullptr;
            RETURN_IF_FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&created)));
            globalInterfaceTable = created;
        }
    }
    globalInterfaceTable->AddRef();
    *table = static_cast<IGlobalInterfaceTable*>(static_cast<void*>(globalInterfaceTable));
    return S_OK;
}

HRESULT CAtlModule::AddTermFunc(TermFunc function, DWORD_PTR argument) noexcept
{
    auto* node = new (std::nothrow) TerminationNode{function, argument, nullptr};
    if (node == nullptr) return E_OUTOFMEMORY;
    ScopedLock lock(dataLock);
    node->next = terminationList;
    terminationList = node;
    return S_OK;
}

void CAtlModule::Term() noexcept
{
    if (recordSize == 0) return;
    // Runs during process detach, when no other thread can be inside the library.
    for (TerminationNode* node = terminationList; node != nullptr;) {
        TerminationNode* next = node->next;
        node->function(node->argument);
        delete node;
        node = next;
    }
    terminationList = nullptr;
    if (globalInterfaceTable != nullptr) {
        globalInterfaceTable->Release();
        globalInterfaceTable = nullptr;
    }
    DeleteCriticalSection(&dataLock);
    recordSize = 0;
}

HRESULT CComModule::Init(ObjectMapEntry* map, HINSTANCE, const GUID* libraryId) noexcept
{
    if (libraryId != nullptr) g_moduleTypeLibraryId = *libraryId;
    objectMap = map;
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr; ++entry)
        if (entry->classInitTerm != nullptr) entry->classInitTerm(true);
    return S_OK;
}

void CComModule::Term() noexcept
{
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr; ++entry) {
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
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr; ++entry) {
        if (entry->getClassObject == nullptr || !IsEqualCLSID(classId, *entry->classId)) continue;
        // Tested again inside the lock, so two threads never create two factories.
        if (entry->classObject == nullptr) {
            if (g_comModuleRecord.recordSize == 0) return E_UNEXPECTED;
            ScopedLock lock(g_comModuleRecord.objectMapLock);
            if (entry->classObject == nullptr)
                hr = entry->getClassObject(reinterpret_cast<void*>(entry->createInstance), IID_IUnknown,
                                           reinterpret_cast<void**>(&entry->classObject));
        }
        if (entry->classObject != nullptr) hr = entry->classObject->QueryInterface(iid, object);
        break;
    }
    if (*object == nullptr && hr == S_OK)
        hr = g_comModuleRecord.recordSize == 0 ? E_UNEXPECTED : CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

ComModuleRecord::ComModuleRecord() noexcept : typeLibraryInstance(LibraryInstance())
{
    if (InitializeCriticalSectionEx(&objectMapLock, 0, 0)) recordSize = sizeof(ComModuleRecord);
}

ComModuleRecord::~ComModuleRecord()
{
    if (recordSize != 0) DeleteCriticalSection(&objectMapLock);
    recordSize = 0;
}

HRESULT CanUnloadModuleNow() noexcept
{
    orrelin::ModuleStateGuard guard;
    if (orrelin::ApplicationCanUnloadNow() != S_OK) return S_FALSE;
    return g_currentModule != nullptr && g_currentModule->GetLockCount() == 0 ? S_OK : S_FALSE;
}
