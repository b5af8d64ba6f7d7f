// libFuzzer target of the Intel HEX and S-record readers. Each input is read as both
// formats; whatever a reader accepts is written back by both writers and read again, and
// the data (every byte at its address, in order) and the S0 header must come back the
// same. A second write of what was read back must give the same text. Besides what the
// sanitizers catch, it stops on a reader that throws anything but the engine's own error.
#include "firmware_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "firmware_text_fuzz: %s\n", what);
        std::abort();
    }
}

class BytesSource final : public korvex::ByteSource {
public:
    explicit BytesSource(const std::string& bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override
    {
        Check(offset <= m_bytes.size() && count <= m_bytes.size() - offset, "read out of bounds");
        std::memcpy(buffer, m_bytes.data() + offset, count);
        return true;
    }

private:
    const std::string& m_bytes;
};

struct TextOutput final : korvex::ByteOutput {
    std::string text;
    void Write(const void* bytes, std::size_t count) override { text.append(static_cast<const char*>(bytes), count); }
};

struct Run {
    std::uint64_t address = 0;
    std::string bytes;
};

// What a reader handed on, with runs that continue one another joined: the writers cut
// data into records of their own size, which must not count as a difference.
struct Recorded final : korvex::RecordSink {
    std::vector<Run> runs;
    std::string header;
    void Data(std::uint32_t address, const unsigned char* bytes, std::size_t count) override
    {
        Check(count > 0, "empty data handed on");
        Check(std::uint64_t{address} + count - 1 <= 0xFFFFFFFFu, "data past 32 bits handed on");
        if (!runs.empty() && runs.back().address + runs.back().bytes.size() == address)
            runs.back().bytes.append(reinterpret_cast<const char*>(bytes), count);
        else
            runs.push_back({address, std::string(reinterpret_cast<const char*>(bytes), count)});
    }
    void Header(const std::string& text) override { header = text; }
};

enum class Format { kIntelHex, kSRecords };

bool Read(Format format, const std::string& text, Recorded& out)
{
    BytesSource source(text);
    try {
        if (format == Format::kIntelHex)
            korvex::ReadIntelHex(source, "fuzz", out);
        else
            korvex::ReadSRecords(source, "fuzz", out);
    } catch (const korvex::DfuError& error) {
        Check(error.kind() == korvex::DfuError::Kind::kInvalid, "a fault in memory reported as other than invalid");
        Check(std::strncmp(error.what(), "fuzz:", 5) == 0, "a fault that does not name the file");
        return false;
    }
    return true;
}

std::string Write(Format format, const Recorded& data)
{
    TextOutput out;
    if (format == Format::kIntelHex) {
        korvex::IntelHexWriter writer(out);
        for (const Run& run : data.runs)
            writer.Data(static_cast<std::uint32_t>(run.address),
                        reinterpret_cast<const unsigned char*>(run.bytes.data()), run.bytes.size());
        writer.Finish();
    } else {
        korvex::SRecordWriter writer(out, data.header);
        for (const Run& run : data.runs)
            writer.Data(static_cast<std::uint32_t>(run.address),
                        reinterpret_cast<const unsigned char*>(run.bytes.data()), run.bytes.size());
        writer.Finish();
    }
    return out.text;
}

bool SameData(const Recorded& a, const Recorded& b)
{
    if (a.runs.size() != b.runs.size()) return false;
    for (std::size_t i = 0; i < a.runs.size(); ++i)
        if (a.runs[i].address != b.runs[i].address || a.runs[i].bytes != b.runs[i].bytes) return false;
    return true;
}

void RoundTrip(const Recorded& first)
{
    for (const Format format : {Format::kIntelHex, Format::kSRecords}) {
        const std::string text = Write(format, first);
        Recorded again;
        Check(Read(format, text, again), "a reader refuses what a writer wrote");
        Check(SameData(first, again), "data differs after a write and a second read");
        if (format == Format::kSRecords)
            Check(again.header == first.header.substr(0, 252), "the S0 header differs after a second read");
        Check(Write(format, again) == text, "a second write gives other text");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (const Format format : {Format::kIntelHex, Format::kSRecords}) {
        Recorded first;
        if (Read(format, input, first)) RoundTrip(first);
    }
    return 0;
}
