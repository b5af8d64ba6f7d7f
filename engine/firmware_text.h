// Firmware as text: Intel HEX and Motorola S-records, read with every line checked and
// written back with the addresses of their data. Readers stream: one line in memory.
#pragma once

#include "file_io.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvex {

// What a reader hands on, line by line, once the line has passed its checks.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void Data(std::uint32_t address, const unsigned char* bytes, std::size_t count) = 0;
    // The text of an S0 header record.
    virtual void Header(const std::string& /*text*/) {}
};

// Read the whole of source. At the first fault they throw DfuError (kInvalid) with
// "name:line: reason"; what was handed on before belongs to a refused input.
//
// Intel HEX: records 00 to 05; 02 and 04 set the segment and linear base. The file ends with
// an 01 record, and nothing but blank lines follows it.
void ReadIntelHex(ByteSource& source, const std::string& name, RecordSink& sink);
// S-records: S0 to S3 and S5 to S9; an S5 or S6 count must match the data records before
// it; nothing but blank lines follows an S7, S8 or S9.
void ReadSRecords(ByteSource& source, const std::string& name, RecordSink& sink);

// Writers take data at rising or falling addresses alike and emit the records that place it.
class IntelHexWriter {
public:
    explicit IntelHexWriter(ByteOutput& out) : m_out(out) {}
    void Data(std::uint32_t address, const unsigned char* bytes, std::size_t count);
    void Finish();

private:
    void Record(unsigned type, std::uint16_t offset, const unsigned char* bytes, std::size_t count);

    ByteOutput& m_out;
    std::uint32_t m_base = 0;
};

class SRecordWriter {
public:
    // header: the S0 record's text (at most 252 bytes are kept).
    SRecordWriter(ByteOutput& out, const std::string& header);
    void Data(std::uint32_t address, const unsigned char* bytes, std::size_t count);
    void Finish();

private:
    void Record(char type, std::uint32_t address, int addressBytes, const unsigned char* bytes, std::size_t count);

    ByteOutput& m_out;
    std::uint64_t m_dataRecords = 0;
};

// Bytes of data per record the writers emit: what srec_cat and most tools write.
constexpr std::size_t kTextRecordData = 16;

}  // namespace korvex
