// The layout operations of Korvex.dll: the C interface over the portable reader. Like the
// other exports they catch at this boundary, so a failure is a result code, never an
// exception in the caller's module.
#include "KorvexLayout.h"

#include "ansi_text.h"
#include "dfu_layout.h"
#include "dfu_layout_block.h"
#include "file_presence.h"
#include "win_file_source.h"

#include <windows.h>

#include <new>

namespace {

int Answer(const korvex::DfuLayout& read, KorvexDfuLayout** layout)
{
    *layout = korvex::NewLayoutBlock(read, {&korvex::AnsiToWide, GetACP()});
    return *layout != nullptr ? KORVEX_OK : KORVEX_OUT_OF_MEMORY;
}

// A file that is not on this device: nothing of it was read.
int AnswerNotOnThisDevice(KorvexDfuLayout** layout)
{
    korvex::DfuLayout absent;
    absent.verdict = korvex::DfuVerdict::kNotOnThisDevice;
    return Answer(absent, layout);
}

int Answer(korvex::ByteSource& source, KorvexDfuLayout** layout)
{
    korvex::DfuLayout read;
    korvex::ReadDfuLayout(source, read);
    return Answer(read, layout);
}

}  // namespace

extern "C" int KORVEX_CALL KorvexReadDfuLayout(const wchar_t* path, KorvexDfuLayout** layout)
{
    if (layout == nullptr) return KORVEX_INVALID_ARGUMENT;
    *layout = nullptr;
    try {
        korvex::WinFileSource source;
        if (!source.Open(path)) {
            if (source.NotOnThisDevice()) return AnswerNotOnThisDevice(layout);
            korvex::DfuLayout unopened;
            unopened.verdict = korvex::DfuVerdict::kUnreadable;
            unopened.systemError = source.LastError();
            return Answer(unopened, layout);
        }
        return Answer(source, layout);
    } catch (const std::bad_alloc&) {
        return KORVEX_OUT_OF_MEMORY;
    } catch (...) {
        return KORVEX_FAILED;
    }
}

extern "C" int KORVEX_CALL KorvexReadDfuLayoutFrom(uint64_t size, KorvexDfuReader reader, void* context,
                                                   KorvexDfuLayout** layout)
{
    if (layout == nullptr) return KORVEX_INVALID_ARGUMENT;
    *layout = nullptr;
    if (reader == nullptr) return KORVEX_INVALID_ARGUMENT;
    try {
        korvex::ReaderSource source(size, reader, context);
        return Answer(source, layout);
    } catch (const std::bad_alloc&) {
        return KORVEX_OUT_OF_MEMORY;
    } catch (...) {
        return KORVEX_FAILED;
    }
}

extern "C" int KORVEX_CALL KorvexReadDfuLayoutHeadersFrom(uint64_t size, KorvexDfuReader reader, void* context,
                                                          KorvexDfuLayout** layout)
{
    if (layout == nullptr) return KORVEX_INVALID_ARGUMENT;
    *layout = nullptr;
    if (reader == nullptr) return KORVEX_INVALID_ARGUMENT;
    try {
        korvex::ReaderSource source(size, reader, context);
        korvex::DfuLayout read;
        korvex::ReadDfuLayoutHeaders(source, read);
        return Answer(read, layout);
    } catch (const std::bad_alloc&) {
        return KORVEX_OUT_OF_MEMORY;
    } catch (...) {
        return KORVEX_FAILED;
    }
}

extern "C" int KORVEX_CALL KorvexReadDfuLayoutOfItem(const wchar_t* path, uint32_t how, uint64_t size,
                                                     KorvexDfuReader reader, void* context, KorvexDfuLayout** layout)
{
    if (layout == nullptr) return KORVEX_INVALID_ARGUMENT;
    *layout = nullptr;
    if (reader == nullptr || (how != KORVEX_READ_WHOLE && how != KORVEX_READ_HEADERS)) return KORVEX_INVALID_ARGUMENT;
    try {
        if (korvex::NotOnThisDevice(path)) return AnswerNotOnThisDevice(layout);
    } catch (const std::bad_alloc&) {
        return KORVEX_OUT_OF_MEMORY;
    } catch (...) {
        return KORVEX_FAILED;
    }
    return how == KORVEX_READ_HEADERS ? KorvexReadDfuLayoutHeadersFrom(size, reader, context, layout)
                                      : KorvexReadDfuLayoutFrom(size, reader, context, layout);
}

extern "C" void KORVEX_CALL KorvexFreeDfuLayout(KorvexDfuLayout* layout)
{
    korvex::FreeLayoutBlock(layout);
}
