#include "DFUThumbnailProvider.h"

#include "class_entry.h"
#include "failure_trace.h"
#include "hresult.h"
#include "module.h"
#include "module_state.h"
#include "registration_scope.h"
#include "resource.h"
#include "stream_layout.h"
#include "thumbnail_paint.h"

using orrelin::ComPtr;
using orrelin::GuardComBoundary;
using orrelin::ModuleStateGuard;

const CLSID CLSID_DFUThumbnailProvider = {0x75E21AA9, 0xE4B9, 0x4554, {0x9E, 0x19, 0xFE, 0xC5, 0x13, 0x5C, 0x8D, 0xB5}};

namespace {

// Kept here, not all import libraries carry them.
const IID kIInitializeWithStream = {0xB824B49D, 0x22AC, 0x4161, {0xAC, 0x8A, 0x99, 0x16, 0xE8, 0xFA, 0x3F, 0x7F}};
const IID kIThumbnailProvider = {0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};

// On the extension, not the ProgID, so the picture stays when a user picks another program
// to open .dfu files with.
constexpr wchar_t kThumbnailEntryKey[] = L".dfu\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}";

// A file up to this size is checked whole. Above it the thumbnail is drawn from the headers:
// Explorer asks for every file of a folder in turn, and a CRC pass over each large image
// would keep its isolated process busy for all of them.
constexpr std::uint64_t kCheckedUpTo = std::uint64_t{64} << 20;

}  // namespace

const InterfaceMapEntry* DFUThumbnailProvider::GetInterfaceMap() noexcept
{
    static const InterfaceMapEntry map[] = {
        {&kIInitializeWithStream, FaceOffset<IInitializeWithStream, DFUThumbnailProvider>(), kPlainFaceRow},
        {&kIThumbnailProvider, FaceOffset<IThumbnailProvider, DFUThumbnailProvider>(), kPlainFaceRow},
        {nullptr, 0, 0},
    };
    return map;
}

STDMETHODIMP DFUThumbnailProvider::Initialize(IStream* stream, DWORD)
{
    if (stream == nullptr) return TRACE_FAILURE(E_POINTER);
    if (m_stream) return TRACE_FAILURE(HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED));
    stream->AddRef();
    m_stream = ComPtr<IStream>::Attach(stream);
    return S_OK;
}

STDMETHODIMP DFUThumbnailProvider::GetThumbnail(UINT size, HBITMAP* bitmap, WTS_ALPHATYPE* alpha)
{
    if (bitmap == nullptr || alpha == nullptr) return TRACE_FAILURE(E_POINTER);
    *bitmap = nullptr;
    *alpha = WTSAT_UNKNOWN;
    if (!m_stream) return TRACE_FAILURE(E_UNEXPECTED);
    // Far beyond any size Explorer asks for (it scales from 256 and up to 2560), and small
    // enough that the picture's bytes cannot overflow.
    if (size == 0 || size > 8192) return TRACE_FAILURE(E_INVALIDARG);
    return TRACE_FAILURE(GuardComBoundary([&] {
        ModuleStateGuard guard;
        // A stream that cannot be read at all still gets its picture: a document, marked broken.
        const orrelin::LayoutOwner layout = orrelin::ReadLayoutFromStream(m_stream.get(), kCheckedUpTo);
        RETURN_IF_FAILED(orrelin::DrawThumbnail(layout.get(), static_cast<int>(size), bitmap));
        *alpha = WTSAT_ARGB;
        return S_OK;
    }));
}

HRESULT WINAPI DFUThumbnailProvider::UpdateRegistry(BOOL doRegister) noexcept
{
    return UpdateRegistryIn(RegistrationScope::Machine(), doRegister);
}

HRESULT DFUThumbnailProvider::UpdateRegistryIn(const RegistrationScope& scope, BOOL doRegister) noexcept
{
    if (doRegister) {
        RETURN_IF_FAILED(g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUTHUMBNAILPROVIDER, TRUE, nullptr));
        RETURN_IF_FAILED(scope.status());
        return ClaimClassEntry(scope.ClassesRoot(), kThumbnailEntryKey, CLSID_DFUThumbnailProvider);
    }
    // Removal goes on past a failure, so one missing piece leaves no others behind.
    HRESULT entry = scope.status();
    if (SUCCEEDED(entry))
        entry = ReleaseClassEntry(scope.ClassesRoot(), kThumbnailEntryKey, CLSID_DFUThumbnailProvider);
    RETURN_IF_FAILED(g_currentModule->UpdateRegistryFromScriptIn(scope, IDR_DFUTHUMBNAILPROVIDER, FALSE, nullptr));
    return entry;
}
