// The module object: the library's lock count, its object map, the termination list and
// the locks that guard what more than one thread may touch. Generic: the DLL's wiring
// defines the module-wide objects and the object map that names its classes.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace orrelin {
struct IRegistrarBase;
}
class RegistrationScope;

// An extra variable for a registry script; a list of them ends at an entry without a name.
struct RegistryVariable {
    const wchar_t* name;
    const wchar_t* value;
};

// One creatable class of the library. The map ends at an entry without a class identifier.
struct ObjectMapEntry {
    using UpdateRegistryFunc = HRESULT(WINAPI*)(BOOL doRegister);
    using CreatorFunc = HRESULT(WINAPI*)(void* argument, REFIID iid, void** object);
    using DescriptionFunc = const wchar_t*(WINAPI*)();
    using CategoryFunc = const struct CategoryMapEntry*(WINAPI*)();
    using ClassInitTermFunc = void(WINAPI*)(bool starting);

    const CLSID* classId;
    UpdateRegistryFunc updateRegistry;
    // Given the instance creator, makes the class object (a cached class factory).
    CreatorFunc getClassObject;
    // Given an outer object or null, makes one instance.
    CreatorFunc createInstance;
    IUnknown* classObject;  // the cached class object; holds one reference once created
    // Neither read nor changed, nor called: they stay because an entry has these nine
    // fields, in this order.
    DWORD registerCookie;
    DescriptionFunc getDescription;
    CategoryFunc getCategories;
    ClassInitTermFunc classInitTerm;
};

// A class's registration in either scope, for the walk that takes a scope. The object map's
// registration function of the same class is its machine-wide case. A list ends at an entry
// without a class identifier.
struct ClassRegistration {
    using UpdateRegistryFunc = HRESULT (*)(const RegistrationScope& scope, BOOL doRegister) noexcept;

    const CLSID* classId;
    UpdateRegistryFunc updateRegistry;
    ObjectMapEntry::CategoryFunc getCategories;
};

// A component category a class implements (kind 1) or requires (other non-zero kinds);
// a list ends at kind 0.
struct CategoryMapEntry {
    int kind;
    const GUID* categoryId;
};

using TermFunc = void(WINAPI*)(DWORD_PTR argument);

// The module record the COM machinery shares. The record's name and its field order are
// the ones code built against this module record relies on.
struct _ATL_MODULE70 {
    struct TerminationNode {
        TermFunc function;
        DWORD_PTR argument;
        TerminationNode* next;
    };

    UINT recordSize = 0;                         // set once the module data lock exists; 0 after termination
    LONG lockCount = 0;                          // reasons not to unload
    TerminationNode* terminationList = nullptr;  // newest first
    CRITICAL_SECTION dataLock;                   // the module data lock (recursive)
    IUnknown* globalInterfaceTable = nullptr;
    ObjectMapEntry* objectMap = nullptr;
};

class CAtlModule : public _ATL_MODULE70 {
public:
    CAtlModule() noexcept;
    virtual ~CAtlModule();
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() noexcept;
    // The global interface table, created on first request. Nothing in the library asks;
    // it stays as one of the module object's own operations, which termination releases.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** table) noexcept;

    // The variables every script run receives: "APPID", empty.
    virtual HRESULT AddCommonVariables(orrelin::IRegistrarBase* registrar) noexcept;
    // These two slots only keep the table's order for callers that index it: E_FAIL.
    virtual HRESULT UpdateRegistryFromScriptUnsupported(UINT resource, BOOL doRegister,
                                                        const RegistryVariable* variables) noexcept;
    virtual HRESULT UpdateRegistryFromScriptByNameUnsupported(const wchar_t* resource, BOOL doRegister,
                                                              const RegistryVariable* variables) noexcept;
    // Runs the script resource of this library in the given direction, with the extra
    // variables and the module's own ("APPID", "Module", "Module_Raw").
    virtual HRESULT UpdateRegistryFromScript(UINT resource, BOOL doRegister,
                                             const RegistryVariable* variables) noexcept;
    virtual HRESULT UpdateRegistryFromScriptByName(const wchar_t* resource, BOOL doRegister,
                                                   const RegistryVariable* variables) noexcept;
    // The same run in `scope`: machine-wide it is UpdateRegistryFromScript itself; for the
    // user, the script's HKCR keys go under the user's own classes.
    HRESULT UpdateRegistryFromScriptIn(const RegistrationScope& scope, UINT resource, BOOL doRegister,
                                       const RegistryVariable* variables) noexcept;

    // Runs at module termination, newest first, once. E_OUTOFMEMORY when no node can be had.
    HRESULT AddTermFunc(TermFunc function, DWORD_PTR argument) noexcept;

    // Runs the termination list, releases the global interface table, deletes the module
    // data lock; does nothing once done.
    void Term() noexcept;

    // Valid while recordSize is non-zero.
    CRITICAL_SECTION& DataLock() noexcept { return dataLock; }
};

template <class T>
class CAtlModuleT : public CAtlModule {
};

class CComModule : public CAtlModuleT<CComModule> {
public:
    // Stores the type library identifier and the object map, then tells each class.
    HRESULT Init(ObjectMapEntry* map, HINSTANCE instance, const GUID* libraryId) noexcept;
    // Releases the cached class objects, tells each class, then the general termination.
    void Term() noexcept;

    HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) noexcept;

    // Each class of the map (or only `filter`) runs its script and category list; then the
    // type library, when asked. The first failure is returned.
    HRESULT RegisterClasses(BOOL registerTypeLibrary, const CLSID* filter = nullptr) noexcept;
    HRESULT UnregisterClasses(BOOL unregisterTypeLibrary, const CLSID* filter = nullptr) noexcept;
    // The same walks in `scope`, over `classes` (the object map's classes, in its order).
    HRESULT RegisterClassesIn(const RegistrationScope& scope, const ClassRegistration* classes,
                              BOOL registerTypeLibrary) noexcept;
    HRESULT UnregisterClassesIn(const RegistrationScope& scope, const ClassRegistration* classes,
                                BOOL unregisterTypeLibrary) noexcept;
};

// The module record of the COM side: the module carrying the type library and the lock that
// serialises the lazy creation of class objects.
struct ComModuleRecord {
    UINT recordSize = 0;  // 0 when the object-map lock could not be created
    HINSTANCE typeLibraryInstance = nullptr;
    CRITICAL_SECTION objectMapLock;

    ComModuleRecord() noexcept;
    ~ComModuleRecord();
    ComModuleRecord(const ComModuleRecord&) = delete;
    ComModuleRecord& operator=(const ComModuleRecord&) = delete;
};

// The process-wide current module, through which objects and class factories lock and
// unlock the library: the module object that was constructed last.
extern CAtlModule* g_currentModule;
// Defined by the DLL's wiring (or a test program that links the machinery directly).
extern CComModule g_module;
extern ComModuleRecord g_comModuleRecord;
// The module's type library identifier: all zero until module initialisation.
extern GUID g_moduleTypeLibraryId;
// The library's own instance handle.
HINSTANCE LibraryInstance() noexcept;

// S_OK when nothing holds the library: no framework lock and a module lock count of 0.
HRESULT CanUnloadModuleNow() noexcept;
