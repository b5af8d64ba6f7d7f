// The thumbnail's cost under Wine: from Initialize with a stream on the file to the returned
// bitmap, for the thumbnail provider registered by this architecture's regsvr32 with the
// real engine, at each size given, against the engine's layout read of the same file alone.
#include <windows.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_stats.h"
#include "engine_layout_time.h"
#include "handles.h"
#include "win_bench_support.h"

using namespace orrelin::bench;
using orrelin::ComPtr;

namespace {

// Not in every import library.
const IID kIThumbnailProvider = {0xE357FCCD, 0xA995, 0x4576, {0xB0, 0x1F, 0x23, 0x46, 0x30, 0x15, 0x4E, 0x96}};
const wchar_t kEntryKey[] = L".dfu\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}";

// One picture as Explorer's thumbnail process asks for it: a new provider, the stream, the
// timed Initialize and GetThumbnail.
double Thumbnail(const CLSID& classId, const std::wstring& path, UINT size)
{
    ComPtr<IThumbnailProvider> provider;
    FailIfFailed(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, kIThumbnailProvider, provider.put_void()),
                 "CoCreateInstance of the thumbnail provider");
    ComPtr<IInitializeWithStream> initialize;
    FailIfFailed(provider->QueryInterface(IID_IInitializeWithStream, initialize.put_void()), "IInitializeWithStream");
    ComPtr<IStream> stream;
    FailIfFailed(SHCreateStreamOnFileEx(path.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()), "stream");
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    const double start = Seconds();
    FailIfFailed(initialize->Initialize(stream.get(), STGM_READ), "Initialize");
    FailIfFailed(provider->GetThumbnail(size, &bitmap, &alpha), "GetThumbnail");
    const double seconds = Seconds() - start;
    DeleteObject(bitmap);
    return seconds;
}

std::string Processor()
{
    wchar_t name[256] = {};
    DWORD bytes = sizeof name;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString",
                     RRF_RT_REG_SZ, nullptr, name, &bytes) != ERROR_SUCCESS)
        return "unknown processor";
    std::string text = Narrow(name);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    if (argc > 1 && std::wstring(argv[1]) == L"--header") {
        std::printf("Processor: %s\n\n", Processor().c_str());
        std::printf("| arch | file | size px | runs | Initialize to bitmap | engine: layout | beyond engine |\n");
        std::printf("|---|---|---|---|---|---|---|\n");
        ++first;
    }
    if (argc < first + 2) {
        std::fprintf(stderr, "usage: orrelin_thumbnail_bench [--header] FILE.dfu SIZE...\n");
        return 2;
    }
    const std::wstring path = argv[first];
    FailIfFailed(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
    wchar_t entry[64] = {};
    DWORD bytes = sizeof entry;
    CLSID classId;
    if (RegGetValueW(HKEY_CLASSES_ROOT, kEntryKey, nullptr, RRF_RT_REG_SZ, nullptr, entry, &bytes) != ERROR_SUCCESS ||
        FAILED(CLSIDFromString(entry, &classId)))
        Fail("no thumbnail provider is registered for .dfu files");
    std::string name = Narrow(path);
    name = name.substr(name.find_last_of("\\/") + 1);
    for (int a = first + 1; a < argc; ++a) {
        const UINT size = static_cast<UINT>(std::wcstoul(argv[a], nullptr, 10));
        const int runs = 30;
        std::vector<double> pictured, engine, beyond;
        // The first round is not counted: it loads the library and brings the file into the cache.
        for (int run = 0; run <= runs; ++run) {
            const double laidOut = EngineLayout(path);
            const double drawn = Thumbnail(classId, path, size);
            if (run == 0) continue;
            pictured.push_back(drawn);
            engine.push_back(laidOut);
            beyond.push_back(drawn - laidOut);
        }
        std::printf("| %s | %s | %u | %d | %s ms | %s ms | %s ms (IQR %s) |\n", ArchName(), name.c_str(), size, runs,
                    Milliseconds(Median(pictured)).c_str(), Milliseconds(Median(engine)).c_str(),
                    Milliseconds(Median(beyond)).c_str(), Milliseconds(InterquartileRange(beyond)).c_str());
    }
    CoUninitialize();
    return 0;
}
