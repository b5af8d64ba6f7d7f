#include "stream_layout.h"

#include "handles.h"

#include <cstdint>

namespace orrelin {
namespace {

std::uint32_t SystemErrorOf(HRESULT hr)
{
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
    return ERROR_READ_FAULT;
}

struct StreamReader {
    IStream* stream;
    // Where the stream stands; the engine reads in order after the suffix, so most reads
    // need no seek.
    std::uint64_t position;
};

std::uint32_t KORVEX_CALL ReadFromStream(void* context, std::uint64_t offset, std::uint32_t count, void* buffer)
{
    auto* reader = static_cast<StreamReader*>(context);
    IStream* stream = reader->stream;
    HRESULT hr = S_OK;
    if (offset != reader->position) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        // Unknown until the seek succeeds.
        reader->position = ~std::uint64_t{0};
        hr = stream->Seek(at, STREAM_SEEK_SET, nullptr);
        if (FAILED(hr)) return SystemErrorOf(hr);
        reader->position = offset;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    // A stream may answer fewer bytes than asked; only no bytes at all is the end.
    while (count > 0) {
        ULONG read = 0;
        hr = stream->Read(bytes, count, &read);
        if (FAILED(hr) || read == 0 || read > count) {
            reader->position = ~std::uint64_t{0};
            return FAILED(hr) ? SystemErrorOf(hr) : ERROR_HANDLE_EOF;
        }
        reader->position += read;
        bytes += read;
        count -= read;
    }
    return 0;
}

}  // namespace

bool IsFullPath(const wchar_t* path) noexcept
{
    if (path == nullptr) return false;
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    return drive || (path[0] == L'\\' && path[1] == L'\\');
}

LayoutOwner ReadLayoutFromStream(IStream* stream, std::uint64_t checkedUpTo, const wchar_t* itemPath)
{
    STATSTG status = {};
    if (FAILED(stream->Stat(&status, STATFLAG_DEFAULT))) return nullptr;
    const UniqueCoTaskMemory name(status.pwcsName);
    const wchar_t* path = IsFullPath(itemPath) ? itemPath : IsFullPath(status.pwcsName) ? status.pwcsName : nullptr;
    KorvexDfuLayout* layout = nullptr;
    // Where a stream stands when it is handed over is not said; the first read seeks.
    StreamReader reader{stream, ~std::uint64_t{0}};
    const std::uint32_t how = status.cbSize.QuadPart <= checkedUpTo ? KORVEX_READ_WHOLE : KORVEX_READ_HEADERS;
    if (KorvexReadDfuLayoutOfItem(path, how, status.cbSize.QuadPart, &ReadFromStream, &reader, &layout) != KORVEX_OK)
        return nullptr;
    return LayoutOwner(layout);
}

}  // namespace orrelin
