#include "DFUPropertyHandler.h"

#include <cwchar>

#include "failure_trace.h"
#include "handler_registration.h"
#include "hresult.h"
#include "module.h"
#include "registration_scope.h"
#include "module_state.h"
#include "resource.h"
#include "stream_layout.h"

using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const CLSID CLSID_DFUPropertyHandler = {0x49905783, 0x1DB4, 0x42B7, {0xA7, 0x0D, 0xBC, 0x5B, 0x64, 0xA1, 0x3E, 0x5C}};

namespace {

// {B824B49D-22AC-4161-AC8A-9916E8FA3F7F}, {886D8EEB-8CF2-4446-8D02-CDBA1DBDCF99},
// {C8E2D566-186E-4D49-BF41-6909EAD56ACC}: kept here, not all import libraries carry them.
const IID kIInitializeWithStream = {0xB824B49D, 0x22AC, 0x4161, {0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F}};
const IID kIPropertyStore = {0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
const IID kIPropertyStoreCapabilities = {0xC8E2D566, 0x186E, 0x4D49, {0xBF, 0x41, 0x69, 0x09, 0xEA, 0xD5, 0x6A, 0xCC}};

wchar_t* CoTaskCopy(const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// Fills *out (empty on entry) with the value; the caller frees it with PropVariantClear.
HRESULT ToPropVariant(const orrelin::PropertyValue& value, PROPVARIANT* out)
{
    if (const auto* text = std::get_if<std::wstring>(&value)) {
        out->pwszVal = CoTaskCopy(*text);
        if (out->pwszVal == nullptr) return E_OUTOFMEMORY;
        out->vt = VT_LPWSTR;
    } else if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        out->vt = VT_UI4;
        out->ulVal = *number;
    } else if (const auto* size = std::get_if<std::uint64_t>(&value)) {
        out->vt = VT_UI8;
        out->uhVal.QuadPart = *size;
    } else {
        const auto& list = std::get<std::vector<std::wstring>>(value);
        auto* elements = static_cast<LPWSTR*>(CoTaskMemAlloc(list.size() * sizeof(LPWSTR)));
        if (elements == nullptr) return E_OUTOFMEMORY;
        out->vt = VT_VECTOR | VT_LPWSTR;
        out->calpwstr.pElems = elements;
        out->calpwstr.cElems = 0;
        for (const std::wstring& item : list) {
            elements[out->calpwstr.cElems] = CoTaskCopy(item);
            if (elements[out->calpwstr.cElems] == nullptr) {
                PropVariantClear(out);
                return E_OUTOFMEMORY;
            }
            ++out->calpwstr.cElems;
        }
    }
    return S_OK;
}

}  // namespace

const InterfaceMapEntry* DFUPropertyHandler::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&kIInitializeWithStream, FaceOffset<IInitializeWithStream, DFUPropertyHandler>(), kPlainFaceRow},
        {&kIPropertyStore, FaceOffset<IPropertyStore, DFUPropertyHandler>(), kPlainFaceRow},
        {&kIPropertyStoreCapabilities, FaceOffset<IPropertyStoreCapabilities, DFUPropertyHandler>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUPropertyHandler::Initialize(IStream* stream, DWORD)
{
    if (stream == nullptr) return TRACE_FAILURE(E_POINTER);
    if (m_initialized) return TRACE_FAILURE(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        // A file that cannot be read still gets a store, with its verdict: a failure here
        // would make Explorer drop the file's other columns too.
        orrelin::LayoutOwner layout = orrelin::ReadLayoutFromStream(stream);
        m_properties = layout ? orrelin::DfuPropertiesOf(*layout) : orrelin::UnreadableDfuProperties();
        m_initialized = true;
        return S_OK;
    }));
}

STDMETHODIMP DFUPropertyHandler::GetCount(DWORD* count)
{
    if (count == nullptr) return TRACE_FAILURE(E_POINTER);
    *count = static_cast<DWORD>(m_properties.size());
    return S_OK;
}

STDMETHODIMP DFUPropertyHandler::GetAt(DWORD index, PROPERTYKEY* key)
{
    if (key == nullptr) return TRACE_FAILURE(E_POINTER);
    *key = PROPERTYKEY{};
    if (index >= m_properties.size()) return TRACE_FAILURE(E_INVALIDARG);
    *key = m_properties[index].key;
    return S_OK;
}

STDMETHODIMP DFUPropertyHandler::GetValue(REFPROPERTYKEY key, PROPVARIANT* value)
{
    if (value == nullptr) return TRACE_FAILURE(E_POINTER);
    PropVariantInit(value);
    return TRACE_FAILURE(GuardComBoundary([&] {
        for (const orrelin::DfuProperty& property : m_properties)
            if (IsEqualPropertyKey(property.key, key)) return ToPropVariant(property.value, value);
        // A property the file does not have is empty, not an error.
        return S_OK;
    }));
}

STDMETHODIMP DFUPropertyHandler::SetValue(REFPROPERTYKEY, REFPROPVARIANT)
{
    return STG_E_ACCESSDENIED;
}

STDMETHODIMP DFUPropertyHandler::Commit()
{
    return STG_E_ACCESSDENIED;
}

STDMETHODIMP DFUPropertyHandler::IsPropertyWritable(REFPROPERTYKEY)
{
    return S_FALSE;
}

HRESULT WINAPI DFUPropertyHandler::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUPropertyHandler::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    // Windows honours the handler list and property schemas only machine-wide: a user's own
    // registration gets the class and the Details lists, nothing for the machine.
    const bool machineWide = !scope.ForUser();
    if (doRegister) {
        RETURN_IF_FAILED(g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUPROPERTYHANDLER, TRUE, nullptr));
        if (!machineWide) return S_OK;
        RETURN_IF_FAILED(orrelin::RegisterPropertyHandlerEntry(CLSID_DFUPropertyHandler));
        // Without its schema (Orrelin.propdesc missing beside the library) the handler still
        // answers, and Explorer shows the properties' canonical names. The failure is traced
        // but fails nothing: the classes registered beside it, the shell extension's among
        // them, stay as registered.
        TRACE_FAILURE(orrelin::RegisterPropertySchema());
        return S_OK;
    }
    if (!machineWide) return g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUPROPERTYHANDLER, FALSE, nullptr);
    // Removal goes on past a failure, so one missing piece leaves no others behind.
    const HRESULT schema = orrelin::UnregisterPropertySchema();
    const HRESULT entry = orrelin::UnregisterPropertyHandlerEntry(CLSID_DFUPropertyHandler);
    RETURN_IF_FAILED(g_currentModule->UpdateRegistryFromScript(IDR_DFUPROPERTYHANDLER, FALSE, nullptr));
    RETURN_IF_FAILED(entry);
    return schema;
}
