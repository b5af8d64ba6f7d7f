// dfuinfo [--json] FILE...: what the firmware engine reads from each .dfu file, as a firmware
// engineer checks it before flashing: the verdict and its reason, the suffix, each DfuSe
// target with its elements as address ranges, and what is structurally wrong. --json gives
// the same for scripts. In Windows it reads through Korvex.dll and, in text, also lists the
// serial ports and USB DFU devices the engine finds; on Linux it reads with the engine's
// portable reader. Exit code 0 when every file is valid, 1 when one is not, 2 when one could
// not be read (or, a cloud placeholder, is not on this device and so was not read) or the
// command could not run.
#include "KorvexLayout.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#  include <fcntl.h>
#  include <io.h>
#  include "Korvex.h"
#else
#  include "dfu_layout.h"
#  include "dfu_layout_block.h"
#  include "posix_file_source.h"
#  include <cerrno>
#endif

namespace {

constexpr int kExitValid = 0;
constexpr int kExitInvalid = 1;
constexpr int kExitCannotRun = 2;

constexpr char kHelp[] =
    "What the firmware engine reads from each .dfu file: the verdict and its reason, the suffix,\n"
    "each DfuSe target with its elements, and what is structurally wrong.\n"
    "  --json   the same for scripts\n"
    "Exit code 0 when every file is valid, 1 when one is not, 2 when one could not be read.\n";

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Code points of wide text: UTF-16 in Windows (an unpaired surrogate stands for itself),
// UTF-32 elsewhere.
std::vector<std::uint32_t> CodePoints(const wchar_t* text)
{
    std::vector<std::uint32_t> codes;
    for (; text != nullptr && *text != 0; ++text) {
        std::uint32_t code = static_cast<std::uint32_t>(*text);
        if (sizeof(wchar_t) == 2 && code >= 0xD800 && code < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[1]) - 0xDC00);
            ++text;
        }
        codes.push_back(code > 0x10FFFF ? 0xFFFD : code);
    }
    return codes;
}

// Only ASCII leaves here: everything else is escaped, so any console or pipe carries it.
std::string JsonString(const std::vector<std::uint32_t>& codes)
{
    std::string out = "\"";
    char escape[16];
    const auto unit = [&](std::uint32_t value) {
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(value));
        out += escape;
    };
    for (const std::uint32_t code : codes) {
        if (code == '"') {
            out += "\\\"";
        } else if (code == '\\') {
            out += "\\\\";
        } else if (code >= 0x20 && code < 0x7F) {
            out += static_cast<char>(code);
        } else if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return out + "\"";
}

std::string JsonString(const std::string& ascii)
{
    std::vector<std::uint32_t> codes;
    for (const char c : ascii) codes.push_back(static_cast<unsigned char>(c));
    return JsonString(codes);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string Hex(std::uint64_t value, int digits)
{
    return Format("0x%0*" PRIX64, digits, value);
}

const char* VerdictName(std::uint32_t verdict)
{
    switch (verdict) {
    case KORVEX_DFU_VALID:
        return "valid";
    case KORVEX_DFU_TOO_SHORT:
        return "tooShort";
    case KORVEX_DFU_NO_SUFFIX:
        return "noSuffix";
    case KORVEX_DFU_UNKNOWN_VERSION:
        return "unknownDfuVersion";
    case KORVEX_DFU_BAD_SUFFIX_LENGTH:
        return "badSuffixLength";
    case KORVEX_DFU_CRC_MISMATCH:
        return "crcMismatch";
    case KORVEX_DFU_UNREADABLE:
        return "unreadable";
    case KORVEX_DFU_NOT_ON_THIS_DEVICE:
        return "notOnThisDevice";
    default:
        return "unknown";
    }
}

#if defined(_WIN32)
std::string Utf8(const wchar_t* text);
#endif

std::string SystemMessage(std::uint32_t error)
{
#if defined(_WIN32)
    wchar_t text[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, static_cast<DWORD>(sizeof text / sizeof text[0]), nullptr);
    std::string message = length > 0 ? Utf8(text) : std::string();
#else
    std::string message = std::strerror(static_cast<int>(error));
#endif
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

std::string Reason(const KorvexDfuLayout& layout)
{
    switch (layout.verdict) {
    case KORVEX_DFU_VALID:
        return "valid DFU file";
    case KORVEX_DFU_TOO_SHORT:
        return Format("too short for a DFU suffix (%" PRIu64 " bytes, a suffix takes 16)", layout.fileSize);
    case KORVEX_DFU_NO_SUFFIX:
        return "no DFU suffix (no \"UFD\" signature at its end)";
    case KORVEX_DFU_UNKNOWN_VERSION:
        return "unknown DFU version " + Hex(layout.dfuVersion, 4) + " in its suffix";
    case KORVEX_DFU_BAD_SUFFIX_LENGTH:
        return Format("suffix length %u out of range (16 to the file's %" PRIu64 " bytes)", layout.suffixLength,
                      layout.fileSize);
    case KORVEX_DFU_CRC_MISMATCH: {
        std::string reason =
            "CRC mismatch: stored " + Hex(layout.storedCrc, 8) + ", computed " + Hex(layout.computedCrc, 8);
        if ((layout.flags & KORVEX_DFU_CRC_WITHOUT_LPC_PREFIX) != 0) {
            reason +=
                "; the stored CRC matches the file without its first 16 bytes: an LPC image prefix "
                "was put in front after the suffix was written";
        }
        return reason;
    }
    case KORVEX_DFU_UNREADABLE:
        return Format("unreadable (system error %u: ", layout.systemError) + SystemMessage(layout.systemError) + ")";
    case KORVEX_DFU_NOT_ON_THIS_DEVICE:
        return "not on this device (its attributes mark a cloud placeholder), so nothing of it was read";
    default:
        return "unknown verdict";
    }
}

// Files that could not be checked: neither valid nor invalid.
bool Unchecked(const KorvexDfuLayout& layout)
{
    return layout.verdict == KORVEX_DFU_UNREADABLE || layout.verdict == KORVEX_DFU_NOT_ON_THIS_DEVICE;
}

bool SuffixRead(const KorvexDfuLayout& layout)
{
    return layout.verdict != KORVEX_DFU_TOO_SHORT && layout.verdict != KORVEX_DFU_NO_SUFFIX && !Unchecked(layout);
}

bool ReadThrough(const KorvexDfuLayout& layout)
{
    return layout.verdict == KORVEX_DFU_VALID || layout.verdict == KORVEX_DFU_CRC_MISMATCH;
}

const char* FindingName(std::uint32_t kind)
{
    switch (kind) {
    case KORVEX_FINDING_NO_DFUSE_PREFIX:
        return "noDfuSePrefix";
    case KORVEX_FINDING_UNKNOWN_DFUSE_VERSION:
        return "unknownDfuSeVersion";
    case KORVEX_FINDING_IMAGE_SIZE:
        return "imageSize";
    case KORVEX_FINDING_TARGETS_MISSING:
        return "targetsMissing";
    case KORVEX_FINDING_TARGET_OVERRUNS_IMAGE:
        return "targetOverrunsImage";
    case KORVEX_FINDING_ELEMENTS_MISSING:
        return "elementsMissing";
    case KORVEX_FINDING_ELEMENT_OVERRUNS_TARGET:
        return "elementOverrunsTarget";
    case KORVEX_FINDING_ELEMENT_OVERRUNS_IMAGE:
        return "elementOverrunsImage";
    case KORVEX_FINDING_ELEMENTS_OVERLAP:
        return "elementsOverlap";
    case KORVEX_FINDING_EMPTY_ELEMENT:
        return "emptyElement";
    case KORVEX_FINDING_TARGET_SLACK:
        return "targetSlack";
    case KORVEX_FINDING_TRAILING_BYTES:
        return "trailingBytes";
    case KORVEX_FINDING_ELEMENTS_NOT_LISTED:
        return "elementsNotListed";
    default:
        return "unknown";
    }
}

std::string FindingText(const KorvexDfuFinding& f)
{
    const unsigned t = f.target, e = f.element, o = f.otherElement;
    const std::uint64_t s = f.stated, a = f.actual;
    switch (f.kind) {
    case KORVEX_FINDING_NO_DFUSE_PREFIX:
        return "DfuSe version in the suffix, but no DfuSe image";
    case KORVEX_FINDING_UNKNOWN_DFUSE_VERSION:
        return Format("unknown DfuSe image version %" PRIu64, s);
    case KORVEX_FINDING_IMAGE_SIZE:
        return Format("stated image size %" PRIu64 " bytes, but the file has %" PRIu64, s, a);
    case KORVEX_FINDING_TARGETS_MISSING:
        return Format("%" PRIu64 " targets stated, %" PRIu64 " found in the file", s, a);
    case KORVEX_FINDING_TARGET_OVERRUNS_IMAGE:
        return Format("target %u: its stated size reaches offset %" PRIu64 ", past the image's end at %" PRIu64, t, s,
                      a);
    case KORVEX_FINDING_ELEMENTS_MISSING:
        return Format("target %u: %" PRIu64 " elements stated, %" PRIu64 " found in it", t, s, a);
    case KORVEX_FINDING_ELEMENT_OVERRUNS_TARGET:
        return Format("target %u, element %u: its data reaches offset %" PRIu64 ", past the target's end at %" PRIu64,
                      t, e, s, a);
    case KORVEX_FINDING_ELEMENT_OVERRUNS_IMAGE:
        return Format("target %u, element %u: its data reaches offset %" PRIu64 ", past the image's end at %" PRIu64, t,
                      e, s, a);
    case KORVEX_FINDING_ELEMENTS_OVERLAP:
        return Format("target %u: elements %u and %u overlap in address", t, e, o);
    case KORVEX_FINDING_EMPTY_ELEMENT:
        return Format("target %u, element %u: size zero", t, e);
    case KORVEX_FINDING_TARGET_SLACK:
        return Format("target %u: its elements end at offset %" PRIu64 ", short of its stated end at %" PRIu64, t, a,
                      s);
    case KORVEX_FINDING_TRAILING_BYTES:
        return Format("the targets end at offset %" PRIu64 ", short of the image's end at %" PRIu64, a, s);
    case KORVEX_FINDING_ELEMENTS_NOT_LISTED:
        return Format("%" PRIu64 " elements beyond the first %" PRIu64 " counted, not listed", a, s);
    default:
        return "unknown finding";
    }
}

std::string Number(std::uint16_t value)
{
    return value == 0xFFFF ? "not stated" : Hex(value, 4);
}

std::string QuotedName(const KorvexDfuTarget& target)
{
    std::string out = "\"";
    for (const std::uint32_t code : CodePoints(target.wideName))
        if (code < 0x20 || code == 0x7F)
            out += Format("\\x%02X", static_cast<unsigned>(code));
        else
            AppendUtf8(out, code >= 0xD800 && code < 0xE000 ? 0xFFFD : code);
    return out + "\"";
}

std::string Text(const std::string& path, const KorvexDfuLayout& layout)
{
    const bool judged = layout.verdict != KORVEX_DFU_VALID && !Unchecked(layout);
    std::string out = path + ": " + (judged ? "invalid: " : "") + Reason(layout) + "\n";
    if (SuffixRead(layout)) {
        out += "  DFU version " + Hex(layout.dfuVersion, 4) + Format(", suffix of %u bytes", layout.suffixLength) +
               ", stored CRC " + Hex(layout.storedCrc, 8) + "\n";
        out += "  Vendor     " + Number(layout.vendor) + "\n";
        out += "  Product    " + Number(layout.product) + "\n";
        out += "  Release    " + Number(layout.release) + "\n";
    }
    if ((layout.flags & KORVEX_DFU_DFUSE) != 0) {
        out += Format("  DfuSe image version %u, stated size %u bytes, %u targets stated\n", layout.dfuseVersion,
                      layout.statedImageSize, layout.statedTargetCount);
        for (std::uint32_t i = 0; i < layout.targetCount; ++i) {
            const KorvexDfuTarget& target = *KorvexDfuTargetAt(&layout, i);
            out += Format("  Target %u: alternate setting %u, ", i, target.alternateSetting);
            out += target.named ? "named " + QuotedName(target) : std::string("not named");
            out += Format(", %u bytes, %u element%s\n", target.statedSize, target.elementCount,
                          target.elementCount == 1 ? "" : "s");
            for (std::uint32_t e = 0; e < target.listedElementCount; ++e) {
                const KorvexDfuElement& element = *KorvexDfuElementAt(&target, e);
                const std::uint64_t last = std::uint64_t{element.address} + element.length - 1;
                out += "    " + Hex(element.address, 8) +
                       (element.length > 0 ? "-" + Hex(last, 8) : std::string(" (empty)   ")) +
                       Format("  %10u bytes  %10.2f KiB\n", element.length, element.length / 1024.0);
            }
        }
    }
    if (layout.findingCount > 0 || layout.unlistedFindings > 0) {
        out += "  Findings:\n";
        for (std::uint32_t i = 0; i < layout.findingCount; ++i)
            out += "    " + FindingText(*KorvexDfuFindingAt(&layout, i)) + "\n";
        if (layout.unlistedFindings > 0) out += Format("    and %u more\n", layout.unlistedFindings);
    } else if ((layout.flags & KORVEX_DFU_DFUSE) != 0) {
        out += "  Findings: none\n";
    }
    return out;
}

std::string JsonIndex(std::uint32_t index)
{
    return index == KORVEX_NO_INDEX ? "null" : Format("%u", index);
}

std::string Json(const std::vector<std::uint32_t>& path, const KorvexDfuLayout& layout)
{
    std::string out = "{\"path\": " + JsonString(path);
    out += Format(", \"verdict\": \"%s\", \"valid\": %s", VerdictName(layout.verdict),
                  layout.verdict == KORVEX_DFU_VALID ? "true" : "false");
    out += ", \"reason\": " + JsonString(Reason(layout));
    out += Format(", \"fileSize\": %" PRIu64 ", \"codePage\": %u", layout.fileSize, layout.codePage);
    if (layout.verdict == KORVEX_DFU_UNREADABLE) out += Format(", \"systemError\": %u", layout.systemError);
    if (SuffixRead(layout)) {
        out += Format(
            ", \"suffix\": {\"dfuVersion\": %u, \"vendor\": %u, \"product\": %u, \"release\": %u, "
            "\"length\": %u, \"storedCrc\": %u",
            layout.dfuVersion, layout.vendor, layout.product, layout.release, layout.suffixLength, layout.storedCrc);
        if (ReadThrough(layout)) out += Format(", \"computedCrc\": %u", layout.computedCrc);
        out += "}";
    } else {
        out += ", \"suffix\": null";
    }
    if (layout.verdict == KORVEX_DFU_CRC_MISMATCH)
        out += Format(", \"lpcPrefix\": %s", (layout.flags & KORVEX_DFU_CRC_WITHOUT_LPC_PREFIX) ? "true" : "false");
    if ((layout.flags & KORVEX_DFU_DFUSE) != 0) {
        out += Format(", \"dfuse\": {\"version\": %u, \"imageSize\": %u, \"targetCount\": %u, \"targets\": [",
                      layout.dfuseVersion, layout.statedImageSize, layout.statedTargetCount);
        for (std::uint32_t i = 0; i < layout.targetCount; ++i) {
            const KorvexDfuTarget& target = *KorvexDfuTargetAt(&layout, i);
            std::string bytes;
            for (std::uint32_t b = 0; b < target.nameLength; ++b)
                bytes += Format("%02x", static_cast<unsigned char>(target.name[b]));
            out += Format("%s{\"alternateSetting\": %u, \"named\": %s, \"name\": ", i > 0 ? ", " : "",
                          target.alternateSetting, target.named ? "true" : "false");
            out += JsonString(CodePoints(target.wideName)) + ", \"nameBytes\": \"" + bytes + "\"";
            out += Format(", \"offset\": %" PRIu64
                          ", \"statedSize\": %u, \"statedElementCount\": %u, "
                          "\"elementCount\": %u, \"elements\": [",
                          target.offset, target.statedSize, target.statedElementCount, target.elementCount);
            for (std::uint32_t e = 0; e < target.listedElementCount; ++e) {
                const KorvexDfuElement& element = *KorvexDfuElementAt(&target, e);
                out += Format("%s{\"address\": %u, \"size\": %u, \"end\": %" PRIu64 ", \"dataOffset\": %" PRIu64 "}",
                              e > 0 ? ", " : "", element.address, element.length,
                              std::uint64_t{element.address} + element.length, element.dataOffset);
            }
            out += "]}";
        }
        out += "]}";
    } else {
        out += ", \"dfuse\": null";
    }
    out += ", \"findings\": [";
    for (std::uint32_t i = 0; i < layout.findingCount; ++i) {
        const KorvexDfuFinding& f = *KorvexDfuFindingAt(&layout, i);
        out += Format(
            "%s{\"kind\": \"%s\", \"target\": %s, \"element\": %s, \"otherElement\": %s, "
            "\"stated\": %" PRIu64 ", \"actual\": %" PRIu64 ", \"text\": ",
            i > 0 ? ", " : "", FindingName(f.kind), JsonIndex(f.target).c_str(), JsonIndex(f.element).c_str(),
            JsonIndex(f.otherElement).c_str(), f.stated, f.actual);
        out += JsonString(FindingText(f)) + "}";
    }
    out += Format("], \"unlistedFindings\": %u}", layout.unlistedFindings);
    return out;
}

#if defined(_WIN32)

using Argument = const wchar_t*;

std::string Utf8(const wchar_t* text)
{
    std::string out;
    for (const std::uint32_t code : CodePoints(text)) AppendUtf8(out, code >= 0xD800 && code < 0xE000 ? 0xFFFD : code);
    return out;
}

struct LayoutHolder {
    KorvexDfuLayout* layout = nullptr;
    ~LayoutHolder() { KorvexFreeDfuLayout(layout); }
};

int ReadLayout(Argument path, LayoutHolder& holder)
{
    return KorvexReadDfuLayout(path, &holder.layout);
}

std::vector<std::uint32_t> PathCodes(Argument path)
{
    return CodePoints(path);
}

bool IsJsonOption(Argument argument)
{
    return std::wcscmp(argument, L"--json") == 0;
}

bool IsHelpOption(Argument argument)
{
    return std::wcscmp(argument, L"--help") == 0;
}

// A console shows the text as wide characters; a pipe or file gets it as UTF-8.
void Write(const std::string& text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
        DWORD written = 0;
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string List(const char* heading, const CStringListX& names)
{
    std::string out = std::string(heading) + ":";
    bool any = false;
    for (CStringListX::POSITION position = names.GetHeadPosition(); position != nullptr;) {
        out += "\n  " + Utf8(static_cast<const wchar_t*>(names.GetNext(position)));
        any = true;
    }
    return out + (any ? "\n" : " none\n");
}

std::string Machine()
{
    CStringListX ports;
    Korvex::GetCOMPortNames(ports);
    CStringListX devices;
    Korvex::GetUSBDeviceNames(devices);
    return List("Serial ports", ports) + List("USB DFU devices", devices);
}

#else

using Argument = const char*;

struct LayoutHolder {
    KorvexDfuLayout* layout = nullptr;
    ~LayoutHolder() { korvex::FreeLayoutBlock(layout); }
};

int ReadLayout(Argument path, LayoutHolder& holder)
{
    korvex::DfuLayout read;
    korvex::PosixFileSource source;
    if (source.Open(path)) {
        korvex::ReadDfuLayout(source, read);
    } else if (source.NotOnThisDevice()) {
        read.verdict = korvex::DfuVerdict::kNotOnThisDevice;
    } else {
        read.verdict = korvex::DfuVerdict::kUnreadable;
        read.systemError = source.LastError();
    }
    holder.layout = korvex::NewLayoutBlock(read, {&korvex::Windows1252ToWide, 1252});
    return holder.layout != nullptr ? KORVEX_OK : KORVEX_OUT_OF_MEMORY;
}

// File names are bytes; those that are not UTF-8 show as replacement characters.
std::vector<std::uint32_t> PathCodes(Argument path)
{
    std::vector<std::uint32_t> codes;
    const auto* p = reinterpret_cast<const unsigned char*>(path);
    while (*p != 0) {
        const unsigned lead = *p;
        const int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        std::uint32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        int i = 1;
        for (; extra > 0 && i <= extra && (p[i] & 0xC0) == 0x80; ++i) code = (code << 6) | (p[i] & 0x3F);
        if (extra < 0 || i <= extra) {
            codes.push_back(0xFFFD);
            ++p;
            continue;
        }
        codes.push_back(code);
        p += extra + 1;
    }
    return codes;
}

bool IsJsonOption(Argument argument)
{
    return std::strcmp(argument, "--json") == 0;
}

bool IsHelpOption(Argument argument)
{
    return std::strcmp(argument, "--help") == 0;
}

void Write(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string Machine()
{
    return {};
}

#endif

std::string PathText(Argument path)
{
    std::string out;
    for (const std::uint32_t code : PathCodes(path)) AppendUtf8(out, code);
    return out;
}

int Run(int argc, Argument* argv, const char* program)
{
    bool json = false;
    std::vector<Argument> files;
    for (int i = 1; i < argc; ++i)
        if (IsJsonOption(argv[i]))
            json = true;
        else if (IsHelpOption(argv[i]))
            return std::printf("usage: %s [--json] FILE.dfu...\n%s", program, kHelp), kExitValid;
        else
            files.push_back(argv[i]);
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s [--json] FILE.dfu...\n", program);
        return kExitCannotRun;
    }
#if defined(_WIN32)
    Korvex::InitDLL();
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    int status = kExitValid;
    std::string out = json ? "{\"files\": [" : "";
    for (std::size_t i = 0; i < files.size(); ++i) {
        LayoutHolder holder;
        if (ReadLayout(files[i], holder) != KORVEX_OK) {
            std::fprintf(stderr, "%s: the engine could not read %s\n", program, PathText(files[i]).c_str());
            return kExitCannotRun;
        }
        const KorvexDfuLayout& layout = *holder.layout;
        if (Unchecked(layout))
            status = kExitCannotRun;
        else if (layout.verdict != KORVEX_DFU_VALID && status == kExitValid)
            status = kExitInvalid;
        out += json ? (i > 0 ? ",\n  " : "\n  ") + Json(PathCodes(files[i]), layout) : Text(PathText(files[i]), layout);
    }
    out += json ? "\n]}\n" : Machine();
    Write(out);
    std::fflush(stdout);
    return status;
}

}  // namespace

// dfutool runs this as its info subcommand, argv[0] being "info".
#if defined(DFUTOOL_INFO_SUBCOMMAND)
int RunInfo(int argc, Argument* argv)
{
    try {
        return Run(argc, argv, "dfutool info");
    } catch (...) {
        std::fprintf(stderr, "dfutool info: out of memory\n");
        return kExitCannotRun;
    }
}
#else
#  if defined(_WIN32)
int wmain(int argc, wchar_t** argv)
#  else
int main(int argc, char** argv)
#  endif
{
    try {
        return Run(argc, const_cast<Argument*>(argv), "dfuinfo");
    } catch (...) {
        std::fprintf(stderr, "dfuinfo: out of memory\n");
        return kExitCannotRun;
    }
}
#endif
