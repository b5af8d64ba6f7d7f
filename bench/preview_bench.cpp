// The preview pane's cost under Wine: from DoPreview to the first complete paint (DoPreview
// returns once the handler's window has painted), for the preview handler registered by
// this architecture's regsvr32 with the real engine, against the engine's layout read of the
// same file on its own. Needs a display (the bench script starts a virtual one).
#include <windows.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "KorvexLayout.h"
#include "bench_stats.h"
#include "preview_host.h"
#include "engine_layout_time.h"
#include "win_bench_support.h"

using namespace orrelin::bench;
using orrelin::ComPtr;

namespace {

// One selection in the pane: a new handler, the stream, the window, the timed DoPreview.
double Preview(const CLSID& classId, const std::wstring& path, const PreviewPane& pane)
{
    ComPtr<IPreviewHandler> handler;
    FailIfFailed(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IPreviewHandler, handler.put_void()),
                 "CoCreateInstance of the preview handler");
    ComPtr<IInitializeWithStream> initialize;
    FailIfFailed(handler->QueryInterface(IID_IInitializeWithStream, initialize.put_void()), "IInitializeWithStream");
    ComPtr<IStream> stream;
    FailIfFailed(SHCreateStreamOnFileEx(path.c_str(), STGM_READ, 0, FALSE, nullptr, stream.put()), "stream");
    FailIfFailed(initialize->Initialize(stream.get(), STGM_READ), "Initialize");
    const RECT client = pane.client();
    FailIfFailed(handler->SetWindow(pane.window(), &client), "SetWindow");
    const double start = Seconds();
    FailIfFailed(handler->DoPreview(), "DoPreview");
    const double seconds = Seconds() - start;
    PreviewPane::Pump();
    FailIfFailed(handler->Unload(), "Unload");
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    if (argc > 1 && std::wstring(argv[1]) == L"--header") {
        std::printf("| arch | file | runs | DoPreview to first paint | engine: layout | preview beyond engine |\n");
        std::printf("|---|---|---|---|---|---|\n");
        ++first;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: orrelin_preview_bench [--header] FILE.dfu\n");
        return 2;
    }
    const std::wstring path = argv[first];
    FailIfFailed(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
    CLSID classId;
    if (FAILED(CLSIDFromString(RegisteredPreviewHandler().c_str(), &classId)))
        Fail("no preview handler is registered for .dfu files");
    const PreviewPane pane({400, 600});
    if (pane.window() == nullptr) Fail("no window for the preview (is there a display?)");
    const int runs = 30;
    std::vector<double> preview, engine, beyond;
    // The first round is not counted: it loads the library and brings the file into the cache.
    for (int run = 0; run <= runs; ++run) {
        const double laidOut = EngineLayout(path);
        const double shown = Preview(classId, path, pane);
        if (run == 0) continue;
        preview.push_back(shown);
        engine.push_back(laidOut);
        beyond.push_back(shown - laidOut);
    }
    std::string name = Narrow(path);
    name = name.substr(name.find_last_of("\\/") + 1);
    std::printf("| %s | %s | %d | %s ms | %s ms | %s ms (IQR %s) |\n", ArchName(), name.c_str(), runs,
                Milliseconds(Median(preview)).c_str(), Milliseconds(Median(engine)).c_str(),
                Milliseconds(Median(beyond)).c_str(), Milliseconds(InterquartileRange(beyond)).c_str());
    CoUninitialize();
    return 0;
}
