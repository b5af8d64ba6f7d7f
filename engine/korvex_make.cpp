// Korvex.dll's make: a request in plain C turned into the same steps `dfutool make` takes,
// so the shell extension writes the same bytes as the command line.
#include "KorvexMake.h"

#include "dfu_writer.h"

#include <algorithm>
#include <new>

namespace {

using korvex::Path;

// Thrown from inside the write when the caller asks to stop; the outputs' owners remove
// what was written as the stack unwinds.
struct MakeStopped {};

class ReportingOutput final : public korvex::ByteOutput {
public:
    ReportingOutput(korvex::ByteOutput& out, std::uint64_t total, KorvexMakeProgress progress, void* context)
        : m_out(out), m_total(total), m_progress(progress), m_context(context)
    {
    }

    void Write(const void* bytes, std::size_t count) override
    {
        m_out.Write(bytes, count);
        m_done += count;
        Report();
    }

    void Report()
    {
        if (m_progress && m_progress(m_context, m_done, m_total) != 0) throw MakeStopped();
    }

private:
    korvex::ByteOutput& m_out;
    std::uint64_t m_done = 0;
    std::uint64_t m_total;
    KorvexMakeProgress m_progress;
    void* m_context;
};

void CheckRequest(const KorvexMakeRequest& request)
{
    if (request.format != KORVEX_MAKE_PLAIN && request.format != KORVEX_MAKE_DFUSE)
        throw std::invalid_argument("format");
    if (!request.output || !*request.output) throw std::invalid_argument("output");
    if (request.inputCount == 0 || !request.inputs) throw std::invalid_argument("inputs");
    for (std::uint32_t i = 0; i < request.inputCount; ++i) {
        const KorvexMakeInput& input = request.inputs[i];
        if (input.size < sizeof(KorvexMakeInput) || !input.path || input.kind > KORVEX_INPUT_S_RECORDS)
            throw std::invalid_argument("input");
    }
    if (request.named && !request.targetName) throw std::invalid_argument("targetName");
}

korvex::SuffixValues Values(const KorvexMakeRequest& request)
{
    korvex::SuffixValues values;
    values.vendor = request.vendor;
    values.product = request.product;
    values.release = request.release;
    return values;
}

void MakePlain(const KorvexMakeRequest& request, KorvexMakeProgress progress, void* context)
{
    if (request.inputCount != 1 || request.inputs[0].kind != KORVEX_INPUT_BINARY)
        korvex::ThrowUsage("a plain DFU file is made from one binary file");
    korvex::InputFile input(request.inputs[0].path);
    const Path output(request.output);
    if (input.IsSameFile(output))
        korvex::ThrowUsage(korvex::PathText(output) + ": is one of the inputs; write to another file");
    korvex::AtomicOutput out(output, request.replace != 0);
    ReportingOutput reporting(out, input.Size() + 16, progress, context);
    reporting.Report();
    korvex::WritePlainDfu(input, Values(request), reporting);
    out.Commit();
}

void MakeDfuSe(const KorvexMakeRequest& request, KorvexMakeProgress progress, void* context)
{
    const Path output(request.output);
    korvex::DfuSeBuilder builder(korvex::DfuSeBuilder::Ways::kOwn, output);
    builder.BeginTarget(request.alternateSetting, request.named != 0,
                        request.named ? std::string(request.targetName) : std::string());
    for (std::uint32_t i = 0; i < request.inputCount; ++i) {
        // Reading a large text input takes a while too: a stop is honoured between inputs.
        if (progress && progress(context, 0, 0) != 0) throw MakeStopped();
        const KorvexMakeInput& input = request.inputs[i];
        switch (input.kind) {
        case KORVEX_INPUT_BINARY:
            builder.AddBinary(input.path, input.address);
            break;
        case KORVEX_INPUT_INTEL_HEX:
            builder.AddIntelHex(input.path);
            break;
        default:
            builder.AddSRecords(input.path);
            break;
        }
    }
    if (builder.ReadsFrom(output))
        korvex::ThrowUsage(korvex::PathText(output) + ": is one of the inputs; write to another file");
    korvex::AtomicOutput out(output, request.replace != 0);
    // The DfuSe prefix, each target's prefix and the suffix around the planned data.
    std::uint64_t total = 11 + 16;
    for (const korvex::PlannedTarget& target : builder.Plan()) total += 274 + target.Size();
    ReportingOutput reporting(out, total, progress, context);
    reporting.Report();
    builder.Write(Values(request), reporting);
    out.Commit();
}

void PutError(wchar_t* error, std::size_t capacity, const std::wstring& text)
{
    if (!error || capacity == 0) return;
    const std::size_t count = std::min(text.size(), capacity - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count), error);
    error[count] = L'\0';
}

}  // namespace

extern "C" int KORVEX_MAKE_CALL KorvexMakeDfuFile(const KorvexMakeRequest* request, KorvexMakeProgress progress,
                                                  void* context, wchar_t* error, size_t errorCapacity)
{
    PutError(error, errorCapacity, std::wstring());
    try {
        if (!request || request->size < sizeof(KorvexMakeRequest)) return KORVEX_MAKE_BAD_REQUEST;
        CheckRequest(*request);
        if (request->format == KORVEX_MAKE_PLAIN)
            MakePlain(*request, progress, context);
        else
            MakeDfuSe(*request, progress, context);
        return KORVEX_MAKE_DONE;
    } catch (const MakeStopped&) {
        return KORVEX_MAKE_CANCELLED;
    } catch (const korvex::DfuError& failure) {
        try {
            PutError(error, errorCapacity, korvex::PathFromText(failure.what()));
        } catch (...) {
        }
        switch (failure.kind()) {
        case korvex::DfuError::Kind::kInvalid:
            return KORVEX_MAKE_INVALID;
        case korvex::DfuError::Kind::kUsage:
            return KORVEX_MAKE_USAGE;
        default:
            return KORVEX_MAKE_IO;
        }
    } catch (const std::invalid_argument&) {
        return KORVEX_MAKE_BAD_REQUEST;
    } catch (const std::bad_alloc&) {
        return KORVEX_MAKE_NO_MEMORY;
    } catch (...) {
        PutError(error, errorCapacity, L"unexpected failure");
        return KORVEX_MAKE_IO;
    }
}
