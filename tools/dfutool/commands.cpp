#include "commands.h"

#include "dfu_diff.h"
#include "dfu_diff_text.h"
#include "dfu_edit.h"
#include "dfu_extract.h"
#include "dfu_hash.h"
#include "dfu_writer.h"
#include "progress.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>

namespace dfutool {
namespace {

using korvex::Path;
using korvex::PathFromText;
using korvex::PathText;
using korvex::ThrowUsage;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    // Sized from what the text needs: a long path is never cut short.
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    return text;
}

// The suffix numbers as dfu-suffix names them: -v vendor, -p product, -d release.
bool SuffixOption(Arguments& arguments, korvex::SuffixChange& change)
{
    std::string value;
    if (arguments.Option("--vendor", "-v", value)) {
        change.vendor = Number16(value, "vendor");
    } else if (arguments.Option("--product", "-p", value)) {
        change.product = Number16(value, "product");
    } else if (arguments.Option("--release", "-d", value)) {
        change.release = Number16(value, "release");
    } else if (arguments.Option("--device", "-D", value)) {
        const std::size_t colon = value.find(':');
        if (colon == std::string::npos) ThrowUsage("--device \"" + value + "\": give VENDOR:PRODUCT");
        change.vendor = Number16(value.substr(0, colon), "vendor");
        change.product = Number16(value.substr(colon + 1), "product");
    } else {
        return false;
    }
    return true;
}

std::uint16_t DfuVersion(const std::string& text)
{
    if (text == "1.0" || text == "0x0100") return 0x0100;
    if (text == "1.1a" || text == "0x011A" || text == "0x011a") return 0x011A;
    ThrowUsage("--dfu-version \"" + text + "\": give 1.0 or 1.1a");
}

void RefuseUnknown(Arguments& arguments)
{
    if (!arguments.Done()) ThrowUsage("unexpected \"" + arguments.Peek() + "\"; --help lists the options");
}

bool IsOption(const std::string& word)
{
    return word.size() > 1 && word[0] == '-';
}

// The output, put in place only when write completes; refused when it is an input.
void WriteOutput(const Path& output, bool force, const std::function<bool(const Path&)>& isInput,
                 const std::function<void(korvex::ByteOutput&)>& write)
{
    if (isInput(output)) ThrowUsage(PathText(output) + ": is one of the inputs; write to another file");
    korvex::AtomicOutput out(output, force);
    write(out);
    out.Commit();
}

}  // namespace

int Make(Arguments& arguments)
{
    korvex::SuffixChange ids;
    korvex::SuffixValues values;
    bool dfusePack = false, force = false, dfuVersionGiven = false, quiet = false;
    std::uint8_t defaultAlternate = 0;
    Path output, image;
    // Inputs are added once the output (the last word) is known: the scratch file lies beside it.
    std::vector<std::function<void(korvex::DfuSeBuilder&)>> steps;
    std::string value;
    while (!arguments.Done()) {
        if (SuffixOption(arguments, ids)) continue;
        if (arguments.Option("--force", "-f")) {
            force = true;
        } else if (arguments.Option("--quiet", "-q")) {
            quiet = true;
        } else if (arguments.Option("--dfuse-pack")) {
            dfusePack = true;
        } else if (arguments.Option("--dfu-version", "-S", value)) {
            values.dfuVersion = DfuVersion(value);
            dfuVersionGiven = true;
        } else if (arguments.Option("--alt", "-a", value)) {
            defaultAlternate = static_cast<std::uint8_t>(Number(value, "alternate setting", 255));
        } else if (arguments.Option("--image", nullptr, value)) {
            if (!image.empty()) ThrowUsage("--image given twice");
            image = PathFromText(value);
        } else if (arguments.Option("--target", "-t", value)) {
            const std::size_t colon = value.find(':');
            const auto alternate = static_cast<std::uint8_t>(Number(value.substr(0, colon), "alternate setting", 255));
            const bool named = colon != std::string::npos;
            const std::string name = named ? value.substr(colon + 1) : std::string();
            steps.push_back([=](korvex::DfuSeBuilder& b) { b.BeginTarget(alternate, named, name); });
        } else if (arguments.Option("--bin", "-b", value)) {
            const std::size_t colon = value.find(':');
            if (colon == std::string::npos) ThrowUsage("--bin \"" + value + "\": give ADDRESS[@ALT]:FILE");
            std::string where = value.substr(0, colon);
            int alternate = -1;
            const std::size_t at = where.find('@');
            if (at != std::string::npos) {
                alternate = static_cast<int>(Number(where.substr(at + 1), "alternate setting", 255));
                where.resize(at);
            }
            const std::uint64_t address = Number(where, "address", 0xFFFFFFFFu);
            const Path file = PathFromText(value.substr(colon + 1));
            steps.push_back([=](korvex::DfuSeBuilder& b) { b.AddBinary(file, address, alternate); });
        } else if (arguments.Option("--hex", "-i", value)) {
            const Path file = PathFromText(value);
            steps.push_back([=](korvex::DfuSeBuilder& b) { b.AddIntelHex(file); });
        } else if (arguments.Option("--srec", "-s", value)) {
            const Path file = PathFromText(value);
            steps.push_back([=](korvex::DfuSeBuilder& b) { b.AddSRecords(file); });
        } else if (!IsOption(arguments.Peek()) && output.empty()) {
            output = PathFromText(arguments.Next());
        } else {
            RefuseUnknown(arguments);
        }
    }
    if (output.empty()) ThrowUsage("no output file given");
    if (!image.empty() && !steps.empty()) ThrowUsage("--image makes a plain DFU file; it takes no targets");
    if (image.empty() && steps.empty()) ThrowUsage("no input given: --image, --bin, --hex or --srec");
    if (!image.empty()) {
        values.vendor = ids.vendor.value_or(korvex::kNotStated);
        values.product = ids.product.value_or(korvex::kNotStated);
        values.release = ids.release.value_or(korvex::kNotStated);
        korvex::InputFile input(image);
        WriteOutput(
            output, force, [&](const Path& p) { return input.IsSameFile(p); },
            [&](korvex::ByteOutput& out) {
                Progress progress("make", input.Size() + 16, ShowProgress(quiet));
                progress.PassTo(out);
                korvex::WritePlainDfu(input, values, progress);
            });
        return kExitDone;
    }
    if (dfuVersionGiven && values.dfuVersion != 0x011A) ThrowUsage("a DfuSe file states DFU version 1.1a");
    // dfuse-pack's defaults: ST's DFU device, release 0.
    values.vendor = ids.vendor.value_or(dfusePack ? 0x0483 : korvex::kNotStated);
    values.product = ids.product.value_or(dfusePack ? 0xDF11 : korvex::kNotStated);
    values.release = ids.release.value_or(dfusePack ? 0 : korvex::kNotStated);
    korvex::DfuSeBuilder builder(dfusePack ? korvex::DfuSeBuilder::Ways::kDfusePack : korvex::DfuSeBuilder::Ways::kOwn,
                                 output);
    builder.SetDefaultAlternateSetting(defaultAlternate);
    for (const auto& step : steps) step(builder);
    WriteOutput(
        output, force, [&](const Path& p) { return builder.ReadsFrom(p); },
        [&](korvex::ByteOutput& out) {
            // The DfuSe prefix, each target's prefix and the suffix around the planned data.
            std::uint64_t total = 11 + 16;
            for (const korvex::PlannedTarget& target : builder.Plan()) total += 274 + target.Size();
            Progress progress("make", total, ShowProgress(quiet));
            progress.PassTo(out);
            builder.Write(values, progress);
        });
    return kExitDone;
}

int Set(Arguments& arguments)
{
    korvex::SuffixChange change;
    bool force = false, addSuffix = false, removeSuffix = false, addPrefix = false, removePrefix = false;
    std::uint16_t dfuVersion = 0x0100;
    std::vector<Path> files;
    std::string value;
    while (!arguments.Done()) {
        if (SuffixOption(arguments, change)) continue;
        if (arguments.Option("--force", "-f")) {
            force = true;
        } else if (arguments.Option("--add-suffix")) {
            addSuffix = true;
        } else if (arguments.Option("--remove-suffix")) {
            removeSuffix = true;
        } else if (arguments.Option("--add-lpc-prefix")) {
            addPrefix = true;
        } else if (arguments.Option("--remove-lpc-prefix")) {
            removePrefix = true;
        } else if (arguments.Option("--dfu-version", "-S", value)) {
            dfuVersion = DfuVersion(value);
        } else if (!IsOption(arguments.Peek())) {
            files.push_back(PathFromText(arguments.Next()));
        } else {
            RefuseUnknown(arguments);
        }
    }
    if (files.size() != 2) ThrowUsage("give the input file and the output file");
    const bool numbers = change.vendor || change.product || change.release;
    const int actions = (numbers || addSuffix) + removeSuffix + addPrefix + removePrefix;
    if (actions != 1)
        ThrowUsage(
            "give one change: numbers (-v, -p, -d), --add-suffix, --remove-suffix, --add-lpc-prefix or "
            "--remove-lpc-prefix");
    korvex::InputFile input(files[0]);
    WriteOutput(
        files[1], force, [&](const Path& p) { return input.IsSameFile(p); },
        [&](korvex::ByteOutput& out) {
            if (addSuffix) {
                korvex::SuffixValues values;
                values.vendor = change.vendor.value_or(korvex::kNotStated);
                values.product = change.product.value_or(korvex::kNotStated);
                values.release = change.release.value_or(korvex::kNotStated);
                values.dfuVersion = dfuVersion;
                korvex::WritePlainDfu(input, values, out);
            } else if (numbers) {
                korvex::ChangeSuffix(input, change, out);
            } else if (removeSuffix) {
                korvex::RemoveSuffix(input, out);
            } else if (addPrefix) {
                korvex::AddLpcPrefix(input, out);
            } else {
                korvex::RemoveLpcPrefix(input, out);
            }
        });
    return kExitDone;
}

int Extract(Arguments& arguments)
{
    korvex::ExtractRequest request;
    bool chosen = false, json = false, quiet = false, damaged = false;
    Path file;
    std::string value;
    request.binaries = false;
    while (!arguments.Done()) {
        if (arguments.Option("--bin")) {
            request.binaries = chosen = true;
        } else if (arguments.Option("--hex")) {
            request.intelHex = chosen = true;
        } else if (arguments.Option("--srec")) {
            request.sRecords = chosen = true;
        } else if (arguments.Option("--force", "-f")) {
            request.replace = true;
        } else if (arguments.Option("--damaged")) {
            damaged = true;
        } else if (arguments.Option("--quiet", "-q")) {
            quiet = true;
        } else if (arguments.Option("--json")) {
            json = true;
        } else if (arguments.Option("--output", "-o", value)) {
            request.prefix = PathFromText(value);
        } else if (!IsOption(arguments.Peek()) && file.empty()) {
            file = PathFromText(arguments.Next());
        } else {
            RefuseUnknown(arguments);
        }
    }
    if (file.empty()) ThrowUsage("no .dfu file given");
    if (!chosen) request.binaries = true;
    // What comes out of a damaged file says so in its names.
    if (request.prefix.empty())
        request.prefix = korvex::FolderOf(file) + korvex::StemOf(file) + PathFromText(damaged ? ".damaged" : "");
    korvex::InputFile input(file);
    std::uint64_t dropped = 0;
    const korvex::DfuLayout layout =
        damaged ? korvex::ReadDamagedLayout(input, dropped) : korvex::ReadValidLayout(input);
    std::uint64_t total = 0;
    if (!layout.dfuse) {
        total = layout.fileSize - layout.suffixLength;
    } else {
        const unsigned passes = unsigned{request.binaries} + request.intelHex + request.sRecords;
        for (const korvex::DfuTarget& target : layout.targets)
            for (const korvex::DfuElement& element : target.elements) total += std::uint64_t{element.size} * passes;
    }
    std::vector<Path> written;
    {
        Progress progress("extract", total, ShowProgress(quiet));
        input.Observe(&progress);
        written = korvex::Extract(input, layout, request);
        input.Observe(nullptr);
    }
    if (damaged && layout.verdict != korvex::DfuVerdict::kValid)
        std::fprintf(stderr, "dfutool extract: %s: its CRC is wrong; what it holds may not be what was written\n",
                     PathText(file).c_str());
    if (dropped > 0)
        std::fprintf(stderr, "dfutool extract: %s: %" PRIu64 " element%s the file does not hold whole, left out\n",
                     PathText(file).c_str(), dropped, dropped == 1 ? "" : "s");
    std::string out = json ? "{\"written\": [" : "";
    for (std::size_t i = 0; i < written.size(); ++i)
        out += json ? (i > 0 ? ", " : "") + JsonText(PathText(written[i])) : PathText(written[i]) + "\n";
    Print(json ? out + "]}\n" : out);
    return kExitDone;
}

int Hash(Arguments& arguments)
{
    bool json = false, quiet = false;
    std::vector<Path> files;
    while (!arguments.Done()) {
        if (arguments.Option("--json")) {
            json = true;
        } else if (arguments.Option("--quiet", "-q")) {
            quiet = true;
        } else if (!IsOption(arguments.Peek())) {
            files.push_back(PathFromText(arguments.Next()));
        } else {
            RefuseUnknown(arguments);
        }
    }
    if (files.empty()) ThrowUsage("no .dfu file given");
    std::string out = json ? "{\"files\": [" : "";
    for (std::size_t f = 0; f < files.size(); ++f) {
        korvex::InputFile input(files[f]);
        const korvex::DfuLayout layout = korvex::ReadValidLayout(input);
        Progress progress("hash", input.Size(), ShowProgress(quiet));
        input.Observe(&progress);
        const korvex::DfuDigests digests = korvex::HashDfuFile(input, layout);
        input.Observe(nullptr);
        const std::string name = PathText(files[f]);
        if (json) {
            out += (f > 0 ? ", " : "") + std::string("{\"path\": ") + JsonText(name) + ", \"sha256\": \"" +
                   korvex::HexDigest(digests.file) + "\", \"elements\": [";
        } else {
            out += korvex::HexDigest(digests.file) + "  " + name + "\n";
        }
        for (std::size_t e = 0; e < digests.elements.size(); ++e) {
            const korvex::ElementDigest& d = digests.elements[e];
            const bool image = d.target == korvex::kNoIndex;
            if (json) {
                out += (e > 0 ? ", " : "") +
                       (image ? std::string("{\"image\": true")
                              : Format("{\"target\": %u, \"element\": %u, \"address\": %u", d.target, d.element,
                                       d.address)) +
                       Format(", \"size\": %" PRIu64 ", \"sha256\": \"", d.size) + korvex::HexDigest(d.digest) + "\"}";
            } else {
                out += korvex::HexDigest(d.digest) + "  " + name +
                       (image ? std::string(" image") : Format(" target %u at 0x%08X", d.target, d.address)) +
                       Format(" (%" PRIu64 " bytes)\n", d.size);
            }
        }
        if (json) out += "]}";
    }
    Print(json ? out + "]}\n" : out);
    return kExitDone;
}

namespace {

std::string RangeList(const std::vector<korvex::DiffRange>& ranges, bool withCount)
{
    std::string out = "[";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        out += Format("%s{\"address\": %" PRIu64 ", \"length\": %" PRIu64, i > 0 ? ", " : "", ranges[i].address,
                      ranges[i].length);
        out += withCount ? Format(", \"count\": %" PRIu64 "}", ranges[i].count) : "}";
    }
    return out + "]";
}

std::string FieldList(const std::vector<korvex::FieldDifference>& fields)
{
    std::string out = "[";
    for (std::size_t i = 0; i < fields.size(); ++i)
        out += Format("%s{\"field\": \"%s\", \"a\": %" PRIu64 ", \"b\": %" PRIu64 "}", i > 0 ? ", " : "",
                      fields[i].field.c_str(), fields[i].a, fields[i].b);
    return out + "]";
}

}  // namespace

int Diff(Arguments& arguments)
{
    bool json = false, quiet = false;
    std::vector<Path> files;
    while (!arguments.Done()) {
        if (arguments.Option("--json")) {
            json = true;
        } else if (arguments.Option("--quiet", "-q")) {
            quiet = true;
        } else if (!IsOption(arguments.Peek())) {
            files.push_back(PathFromText(arguments.Next()));
        } else {
            RefuseUnknown(arguments);
        }
    }
    if (files.size() != 2) ThrowUsage("give two .dfu files");
    korvex::InputFile a(files[0]), b(files[1]);
    const korvex::DfuLayout layoutA = korvex::ReadValidLayout(a);
    const korvex::DfuLayout layoutB = korvex::ReadValidLayout(b);
    korvex::DfuDifference diff;
    {
        // Both files' bytes, where both have data at an address: about all of two like images.
        Progress progress("diff", a.Size() + b.Size(), ShowProgress(quiet));
        a.Observe(&progress);
        b.Observe(&progress);
        diff = korvex::CompareDfuFiles(a, layoutA, b, layoutB);
        a.Observe(nullptr);
        b.Observe(nullptr);
    }
    const std::string nameA = PathText(files[0]), nameB = PathText(files[1]);
    std::string out;
    if (json) {
        out = "{\"a\": " + JsonText(nameA) + ", \"b\": " + JsonText(nameB) +
              ", \"same\": " + (diff.Same() ? "true" : "false") + ", \"fields\": " + FieldList(diff.fields) +
              ", \"targets\": [";
        for (std::size_t t = 0; t < diff.targets.size(); ++t) {
            const korvex::TargetDifference& target = diff.targets[t];
            out += Format("%s{\"index\": %u, \"inA\": %s, \"inB\": %s, \"fields\": ", t > 0 ? ", " : "", target.index,
                          target.inA ? "true" : "false", target.inB ? "true" : "false");
            out += FieldList(target.fields) + ", \"differing\": " + RangeList(target.differing, true);
            out += Format(", \"differingRanges\": %" PRIu64 ", \"differingBytes\": %" PRIu64, target.differingRanges,
                          target.differingBytes);
            out += ", \"onlyInA\": " + RangeList(target.onlyInA, false) +
                   ", \"onlyInB\": " + RangeList(target.onlyInB, false);
            out += Format(", \"onlyInARanges\": %" PRIu64 ", \"onlyInBRanges\": %" PRIu64 "}", target.onlyInARanges,
                          target.onlyInBRanges);
        }
        out += "]}\n";
    } else {
        out = korvex::DiffText(diff, nameA, nameB);
    }
    Print(out);
    return diff.Same() ? kExitDone : kExitInvalid;
}

}  // namespace dfutool
