// The Intel HEX and S-record readers: every fault named with file and line, and data that
// comes back the same after a write and a second read.
#include "firmware_text.h"

#include "dfu_test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using dfutest::MemorySource;

// Every byte handed on, by address; a second write to an address is recorded as such.
struct CollectingSink final : korvex::RecordSink {
    std::map<std::uint64_t, unsigned char> bytes;
    std::string header;
    int rewrites = 0;
    void Data(std::uint32_t address, const unsigned char* data, std::size_t count) override
    {
        for (std::size_t i = 0; i < count; ++i) rewrites += !bytes.emplace(std::uint64_t{address} + i, data[i]).second;
    }
    void Header(const std::string& text) override { header = text; }
};

struct BufferOutput final : korvex::ByteOutput {
    std::string bytes;
    void Write(const void* data, std::size_t count) override { bytes.append(static_cast<const char*>(data), count); }
};

enum class Format { kHex, kSrec };

std::string ReadError(Format format, const std::string& text)
{
    MemorySource source(text);
    CollectingSink sink;
    try {
        if (format == Format::kHex)
            korvex::ReadIntelHex(source, "in.txt", sink);
        else
            korvex::ReadSRecords(source, "in.txt", sink);
    } catch (const korvex::DfuError& error) {
        EXPECT_EQ(error.kind(), korvex::DfuError::Kind::kInvalid);
        return error.what();
    }
    return "accepted";
}

struct ErrorRow {
    Format format;
    const char* text;
    const char* message;  // what the error says, from "in.txt:" on
};

const ErrorRow kErrorRows[] = {
    {Format::kHex, ":0400000001020304F1\n:00000001FF\n", "in.txt:1: checksum 0xF1, the record's bytes give 0xF2"},
    {Format::kHex, ":0400000001020304F2\n:00000001FF\n", "accepted"},
    {Format::kHex, ":0400000001020304F0\n:00000001FF\n", "in.txt:1: checksum 0xF0, the record's bytes give 0xF2"},
    {Format::kHex, "\n:0500000001020304F1\n:00000001FF\n",
     "in.txt:2: length byte says 5 data bytes, the record holds 4"},
    {Format::kHex, ":0400000601020304EC\n:00000001FF\n", "in.txt:1: unknown record type 0x06"},
    {Format::kHex, ":04000000010203G4F1\n", "in.txt:1: stray character 'G' in column 16"},
    {Format::kHex, " :00000001FF\n", "in.txt:1: stray character ' ' where a record starts with ':'"},
    {Format::kHex, ":0400000001020304F\n", "in.txt:1: odd number of hex digits"},
    {Format::kHex, ":0400000001020304F2\n", "in.txt:1: no end-of-file record (type 0x01): the file may be cut short"},
    {Format::kHex, ":00000001FF\n:0400000001020304F1\n", "in.txt:2: record after the end-of-file record"},
    {Format::kHex, ":02000004FFFFFC\n:04FFFE0001020304F5\n:00000001FF\n", "in.txt:2: address 0x100000001 past 32 bits"},
    {Format::kHex, ":03000004FFFFFFFC\n", "in.txt:1: record type 0x04 holds 2 data bytes, not 3"},
    {Format::kSrec, "S1070000010203040E\n", "in.txt:1: checksum 0x0E, the record's bytes give 0xEE"},
    {Format::kSrec, "S107000001020304EE\n", "accepted"},
    {Format::kSrec, "S108000001020304EE\n", "in.txt:1: length byte says 8 bytes follow, the record holds 7"},
    {Format::kSrec, "S107000001020304EE\nS4030000FC\n", "in.txt:2: unknown record type S4"},
    {Format::kSrec, "X107000001020304EE\n", "in.txt:1: stray character 'X' where a record starts with 'S'"},
    {Format::kSrec,
     "S10700000102030\x01"
     "EE\n",
     "in.txt:1: stray character byte 0x01 in column 16"},
    {Format::kSrec, "S107000001020304EE\nS5030002FA\n", "in.txt:2: record count 2, but 1 data records come before it"},
    {Format::kSrec, "S9030000FC\nS107000001020304EE\n", "in.txt:2: record after the termination record"},
    {Format::kSrec, "S309FFFFFFFE01020304F1\n", "in.txt:1: address 0x100000001 past 32 bits"},
    {Format::kSrec, "S3030000FC\n", "in.txt:1: length byte 3 too small for the record's address"},
};

TEST(FirmwareText, RefusesEachFaultNamingFileAndLine)
{
    for (const ErrorRow& row : kErrorRows) EXPECT_EQ(ReadError(row.format, row.text), row.message) << row.text;
}

TEST(FirmwareText, RefusesALineLongerThanAnyRecord)
{
    EXPECT_EQ(ReadError(Format::kHex, ":00000001FF\n\n:" + std::string(700, '0') + "\n"),
              "in.txt:3: line longer than any record");
}

TEST(FirmwareText, ReadsSegmentAndLinearBasesAndCrLf)
{
    MemorySource source(":020000021000EC\r\n:01001000559A\r\n:020000040800F2\r\n:01FFFF00AA57\r\n:00000001FF\r\n");
    CollectingSink sink;
    korvex::ReadIntelHex(source, "in.txt", sink);
    const std::map<std::uint64_t, unsigned char> expected = {{0x10010, 0x55}, {0x0800FFFF, 0xAA}};
    EXPECT_EQ(sink.bytes, expected);
}

// Runs of data at scattered addresses, some across a 64 KiB boundary and at the top of the
// address space, written by each writer and read back by its reader.
TEST(FirmwareText, WrittenDataReadsBackTheSame)
{
    const struct {
        std::uint32_t address;
        std::size_t size;
    } runs[] = {{0, 1}, {0x0000FFF0, 40}, {0x08000000, 1000}, {0x20000003, 17}, {0xFFFFFFF0, 16}};
    for (const Format format : {Format::kHex, Format::kSrec}) {
        BufferOutput hexOut, srecOut;
        CollectingSink written;
        korvex::IntelHexWriter hex(hexOut);
        korvex::SRecordWriter srec(srecOut, "firmware");
        unsigned seed = 1;
        for (const auto& run : runs) {
            const std::string data = dfutest::Payload(run.size, seed++);
            const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
            written.Data(run.address, bytes, run.size);
            hex.Data(run.address, bytes, run.size);
            srec.Data(run.address, bytes, run.size);
        }
        hex.Finish();
        srec.Finish();
        MemorySource source(format == Format::kHex ? hexOut.bytes : srecOut.bytes);
        CollectingSink read;
        format == Format::kHex ? korvex::ReadIntelHex(source, "out", read) : korvex::ReadSRecords(source, "out", read);
        EXPECT_EQ(read.bytes, written.bytes);
        EXPECT_EQ(read.rewrites, 0);
        EXPECT_EQ(read.header, format == Format::kHex ? "" : "firmware");
    }
}

}  // namespace
