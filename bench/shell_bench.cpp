// Orrelin.dll with the real engine, as Explorer meets it: the class registered by regsvr32
// (scripts/bench.sh registers it before and unregisters it after) and created through COM.
//
//   orrelin_shell_bench [--header] FILE.dfu
//
// Prints one table row for the file: the engine's own work (Korvex::IsDFUFileValid, as the
// info tip calls it, the lists of serial ports and USB DFU devices the menu asks for, and
// the whole-file layout the property handler reads), the info tip, the right-click and the
// property store through the registered classes, what each takes beyond the engine, and
// the process's peak working set. Medians of repeated runs, taken in turn
// so that all of them see the same machine.
#include <windows.h>
#include <shlobj.h>
#include <propsys.h>
#include <shlwapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Korvex.h"
#include "KorvexLayout.h"
#include "Orrelin_i.h"
#include "bench_files.h"
#include "bench_stats.h"
#include "engine_layout_time.h"
#include "win_bench_support.h"

using namespace orrelin::bench;
using orrelin::ComPtr;

namespace {

constexpr wchar_t kTargetName[] = L"Orrelin bench target";
// DFUPropertyHandler, {49905783-1DB4-42B7-A70D-BC5B64A13E5C}.
const CLSID kPropertyHandler = {0x49905783, 0x1DB4, 0x42B7, {0xA7, 0x0D, 0xBC, 0x5B, 0x64, 0xA1, 0x3E, 0x5C}};

double EngineCheck(const std::wstring& path)
{
    CStringX comment;
    unsigned int vendor = 0, product = 0, release = 0;
    const double start = Seconds();
    const bool valid = Korvex::IsDFUFileValid(path.c_str(), comment, vendor, product, release);
    const double seconds = Seconds() - start;
    if (!valid) Fail("%s: the engine rejects it", Narrow(path).c_str());
    if (vendor != kBenchVendor || product != kBenchProduct || release != kBenchRelease ||
        std::wstring(static_cast<const wchar_t*>(comment)) != kTargetName)
        Fail("%s: the engine reads other numbers or another comment", Narrow(path).c_str());
    return seconds;
}

// The engine's other work on a right-click: the download targets of the machine.
double EngineTargetLists()
{
    CStringListX ports, devices;
    const double start = Seconds();
    Korvex::GetCOMPortNames(ports);
    Korvex::GetUSBDeviceNames(devices);
    return Seconds() - start;
}

// What the Details view does for one file once the handler is created (creation is the
// same as the info tip's, in its own column): hand it a stream on the file and read every
// value of its store.
double DetailsRow(const std::wstring& path)
{
    ComPtr<IInitializeWithStream> handler;
    FailIfFailed(CoCreateInstance(kPropertyHandler, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream,
                                  handler.put_void()),
                 "CoCreateInstance of the property handler");
    const double start = Seconds();
    ComPtr<IStream> stream;
    FailIfFailed(
        SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr, stream.put()),
        "SHCreateStreamOnFileEx");
    FailIfFailed(handler->Initialize(stream.get(), STGM_READ), "IInitializeWithStream::Initialize");
    ComPtr<IPropertyStore> store;
    FailIfFailed(handler->QueryInterface(IID_IPropertyStore, store.put_void()), "IPropertyStore");
    DWORD count = 0;
    store->GetCount(&count);
    for (DWORD i = 0; i < count; ++i) {
        PROPERTYKEY key;
        PROPVARIANT value;
        store->GetAt(i, &key);
        store->GetValue(key, &value);
        PropVariantClear(&value);
    }
    store.reset();
    stream.reset();
    const double seconds = Seconds() - start;
    if (count < 2) Fail("%s: the store holds only the verdict", Narrow(path).c_str());
    return seconds;
}

void PrintHeader()
{
    std::printf(
        "| arch | file | runs | engine: file check (remembered after the first) | engine: target lists | info tip | "
        "tip beyond engine | right-click | right-click beyond engine | create + release | engine: layout | "
        "properties | properties beyond engine | peak working set (at start) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    if (argc > 1 && std::wstring(argv[1]) == L"--header") {
        PrintHeader();
        ++first;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: orrelin_shell_bench [--header] FILE.dfu\n");
        return 2;
    }
    const std::wstring path = argv[first];
    FailIfFailed(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
    const std::uint64_t peakAtStart = PeakWorkingSet();
    const std::uint64_t size = FileSizeOf(path);

    ComPtr<IDataObject> selection;
    SelectionDataObject(path, reinterpret_cast<IDataObject**>(selection.put_void()));

    // What the info tip and the right-click take beyond the engine is taken run by run, each
    // against the engine check of the same run.
    std::vector<double> engine, lists, tip, click, tipBeyond, clickBeyond, create, layout, details, detailsBeyond;
    UINT entries = 0;
    const int runs = RunsForSize(size);
    // Created once before anything is timed: the extension loads the engine and starts it,
    // as it must before the engine is called directly below.
    {
        ComPtr<IPersistFile> starter;
        FailIfFailed(
            CoCreateInstance(CLSID_DFUShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, starter.put_void()),
            "CoCreateInstance of the registered class (is it registered for this architecture?)");
    }
    // The first round is not counted: it brings the file into the cache. Each engine figure
    // is taken just before the handler's that contains it.
    for (int run = 0; run <= runs; ++run) {
        const double check = EngineCheck(path);

        double start = Seconds();
        ComPtr<IPersistFile> hovered;
        FailIfFailed(
            CoCreateInstance(CLSID_DFUShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile, hovered.put_void()),
            "CoCreateInstance of the registered class");
        const double created = Seconds() - start;
        const double hover = Hover(hovered.get(), path, kTargetName);
        start = Seconds();
        hovered.reset();
        const double released = Seconds() - start;

        const double listed = EngineTargetLists();
        ComPtr<IShellExtInit> clicked;
        FailIfFailed(
            CoCreateInstance(CLSID_DFUShellExt, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, clicked.put_void()),
            "CoCreateInstance of the registered class");
        const MenuRun menu = RightClick(clicked.get(), selection.get());
        entries = menu.entries;

        const double laidOut = EngineLayout(path);
        const double row = DetailsRow(path);

        if (run == 0) continue;
        layout.push_back(laidOut);
        details.push_back(row);
        detailsBeyond.push_back(row - laidOut);
        engine.push_back(check);
        lists.push_back(listed);
        tip.push_back(hover);
        click.push_back(menu.seconds);
        tipBeyond.push_back(hover - check);
        clickBeyond.push_back(menu.seconds - check - listed);
        create.push_back(created + released);
    }

    const auto spread = [](const std::vector<double>& values) {
        return Milliseconds(Median(values)) + " ms (IQR " + Milliseconds(InterquartileRange(values)) + ")";
    };
    std::printf(
        "| %s | %s | %d | %s ms | %s ms | %s ms | %s | %s ms (%u entries) | %s | %s ms | %s ms | %s ms | %s | "
        "%s (%s) |\n",
        ArchName(), SizeText(size).c_str(), runs, Milliseconds(Median(engine)).c_str(),
        Milliseconds(Median(lists)).c_str(), Milliseconds(Median(tip)).c_str(), spread(tipBeyond).c_str(),
        Milliseconds(Median(click)).c_str(), entries, spread(clickBeyond).c_str(), Milliseconds(Median(create)).c_str(),
        Milliseconds(Median(layout)).c_str(), Milliseconds(Median(details)).c_str(), spread(detailsBeyond).c_str(),
        Megabytes(PeakWorkingSet()).c_str(), Megabytes(peakAtStart).c_str());
    selection.reset();
    CoUninitialize();
    return 0;
}
