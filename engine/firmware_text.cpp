#include "firmware_text.h"

#include <algorithm>
#include <vector>

namespace korvex {
namespace {

// The longest line of either format is 521 characters (an Intel HEX record of 255 bytes);
// longer is no record, and reading it whole would let a broken file fill memory.
constexpr std::size_t kLongestLine = 600;

class LineReader {
public:
    LineReader(ByteSource& source, const std::string& name) : m_source(source), m_name(name), m_chunk(64 * 1024) {}

    // The next line without its end (LF, or CR LF); false at the end of the source.
    bool Next(std::string& line)
    {
        line.clear();
        bool any = false;
        for (;;) {
            if (m_at == m_filled) {
                if (!Fill()) break;
            }
            any = true;
            const unsigned char c = m_chunk[m_at++];
            if (c == '\n') break;
            if (line.size() == kLongestLine) Fail("line longer than any record");
            line += static_cast<char>(c);
        }
        if (!any) return false;
        ++m_line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

    [[noreturn]] void Fail(const std::string& reason) const
    {
        ThrowInvalid(m_name + ":" + std::to_string(m_line + 1) + ": " + reason);
    }
    [[noreturn]] void FailHere(const std::string& reason) const
    {
        ThrowInvalid(m_name + ":" + std::to_string(m_line) + ": " + reason);
    }
    std::uint64_t line() const { return m_line; }

private:
    bool Fill()
    {
        const std::uint64_t left = m_source.Size() - m_offset;
        if (left == 0) return false;
        m_filled = static_cast<std::size_t>(std::min<std::uint64_t>(left, m_chunk.size()));
        if (!m_source.ReadAt(m_offset, m_chunk.data(), m_filled))
            throw DfuError(DfuError::Kind::kIo,
                           m_name + ": cannot read (system error " + std::to_string(m_source.LastError()) + ")");
        m_offset += m_filled;
        m_at = 0;
        return true;
    }

    ByteSource& m_source;
    const std::string& m_name;
    std::vector<unsigned char> m_chunk;
    std::size_t m_at = 0;
    std::size_t m_filled = 0;
    std::uint64_t m_offset = 0;
    std::uint64_t m_line = 0;
};

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Printable(char c)
{
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code < 0x7F) return std::string("'") + c + "'";
    static const char digits[] = "0123456789ABCDEF";
    return std::string("byte 0x") + digits[code >> 4] + digits[code & 15];
}

// The bytes of the hex digits from column first on; a stray character or an odd count fails.
void DecodeHex(const LineReader& reader, const std::string& line, std::size_t first, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    for (std::size_t i = first; i < line.size(); ++i)
        if (HexValue(line[i]) < 0)
            reader.FailHere("stray character " + Printable(line[i]) + " in column " + std::to_string(i + 1));
    if ((line.size() - first) % 2 != 0) reader.FailHere("odd number of hex digits");
    for (std::size_t i = first; i < line.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(HexValue(line[i]) * 16 + HexValue(line[i + 1])));
}

std::string Hex(std::uint64_t value, int digits)
{
    static const char symbols[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = symbols[value & 15];
    return "0x" + out;
}

void CheckAddressRange(const LineReader& reader, std::uint64_t address, std::size_t count)
{
    if (count > 0 && address + count - 1 > 0xFFFFFFFFu)
        reader.FailHere("address " + Hex(address + count - 1, 9) + " past 32 bits");
}

}  // namespace

void ReadIntelHex(ByteSource& source, const std::string& name, RecordSink& sink)
{
    LineReader reader(source, name);
    std::string line;
    std::vector<unsigned char> bytes;
    std::uint64_t base = 0;
    bool ended = false;
    while (reader.Next(line)) {
        if (line.empty()) continue;
        if (ended) reader.FailHere("record after the end-of-file record");
        if (line[0] != ':')
            reader.FailHere("stray character " + Printable(line[0]) + " where a record starts with ':'");
        DecodeHex(reader, line, 1, bytes);
        if (bytes.size() < 5) reader.FailHere("record too short");
        const std::size_t count = bytes[0];
        if (bytes.size() != count + 5)
            reader.FailHere("length byte says " + std::to_string(count) + " data bytes, the record holds " +
                            std::to_string(bytes.size() - 5));
        unsigned sum = 0;
        for (const unsigned char b : bytes) sum += b;
        if ((sum & 0xFF) != 0) {
            const unsigned expected = (0x100 - ((sum - bytes.back()) & 0xFF)) & 0xFF;
            reader.FailHere("checksum " + Hex(bytes.back(), 2) + ", the record's bytes give " + Hex(expected, 2));
        }
        const std::uint16_t offset = static_cast<std::uint16_t>((bytes[1] << 8) | bytes[2]);
        const unsigned type = bytes[3];
        const unsigned char* data = bytes.data() + 4;
        const auto wantLength = [&](std::size_t length) {
            if (count != length)
                reader.FailHere("record type " + Hex(type, 2) + " holds " + std::to_string(length) +
                                " data bytes, not " + std::to_string(count));
        };
        switch (type) {
        case 0x00:
            CheckAddressRange(reader, base + offset, count);
            if (count > 0) sink.Data(static_cast<std::uint32_t>(base + offset), data, count);
            break;
        case 0x01:
            wantLength(0);
            ended = true;
            break;
        case 0x02:
            wantLength(2);
            base = static_cast<std::uint64_t>((data[0] << 8) | data[1]) << 4;
            break;
        case 0x04:
            wantLength(2);
            base = static_cast<std::uint64_t>((data[0] << 8) | data[1]) << 16;
            break;
        case 0x03:
        case 0x05:
            wantLength(4);  // a start address: where to run, not data
            break;
        default:
            reader.FailHere("unknown record type " + Hex(type, 2));
        }
    }
    if (!ended) reader.FailHere("no end-of-file record (type 0x01): the file may be cut short");
}

void ReadSRecords(ByteSource& source, const std::string& name, RecordSink& sink)
{
    LineReader reader(source, name);
    std::string line;
    std::vector<unsigned char> bytes;
    std::uint64_t dataRecords = 0;
    bool ended = false;
    while (reader.Next(line)) {
        if (line.empty()) continue;
        if (ended) reader.FailHere("record after the termination record");
        if (line[0] != 'S')
            reader.FailHere("stray character " + Printable(line[0]) + " where a record starts with 'S'");
        if (line.size() < 2) reader.FailHere("record too short");
        const char type = line[1];
        static const int kAddressBytes[10] = {2, 2, 3, 4, -1, 2, 3, 4, 3, 2};
        if (type < '0' || type > '9' || kAddressBytes[type - '0'] < 0)
            reader.FailHere(type >= 0x20 && type < 0x7F ? std::string("unknown record type S") + type
                                                        : "unknown record type " + Printable(type));
        const int addressBytes = kAddressBytes[type - '0'];
        DecodeHex(reader, line, 2, bytes);
        if (bytes.empty()) reader.FailHere("record too short");
        const std::size_t count = bytes[0];
        if (bytes.size() != count + 1)
            reader.FailHere("length byte says " + std::to_string(count) + " bytes follow, the record holds " +
                            std::to_string(bytes.size() - 1));
        if (count < static_cast<std::size_t>(addressBytes) + 1)
            reader.FailHere("length byte " + std::to_string(count) + " too small for the record's address");
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
        if (((~sum) & 0xFF) != bytes.back())
            reader.FailHere("checksum " + Hex(bytes.back(), 2) + ", the record's bytes give " + Hex((~sum) & 0xFF, 2));
        std::uint64_t address = 0;
        for (int i = 0; i < addressBytes; ++i) address = (address << 8) | bytes[1 + static_cast<std::size_t>(i)];
        const unsigned char* data = bytes.data() + 1 + addressBytes;
        const std::size_t length = count - static_cast<std::size_t>(addressBytes) - 1;
        switch (type) {
        case '0':
            sink.Header(std::string(reinterpret_cast<const char*>(data), length));
            break;
        case '1':
        case '2':
        case '3':
            CheckAddressRange(reader, address, length);
            ++dataRecords;
            if (length > 0) sink.Data(static_cast<std::uint32_t>(address), data, length);
            break;
        case '5':
        case '6': {
            const std::uint64_t mask = type == '5' ? 0xFFFF : 0xFFFFFF;
            if (length != 0) reader.FailHere(std::string("record type S") + type + " holds no data");
            if (address != (dataRecords & mask))
                reader.FailHere("record count " + std::to_string(address) + ", but " + std::to_string(dataRecords) +
                                " data records come before it");
            break;
        }
        default:  // S7, S8, S9: the start address, and the end
            if (length != 0) reader.FailHere(std::string("record type S") + type + " holds no data");
            ended = true;
            break;
        }
    }
}

namespace {

void PutHexByte(std::string& line, unsigned value)
{
    static const char digits[] = "0123456789ABCDEF";
    line += digits[(value >> 4) & 15];
    line += digits[value & 15];
}

}  // namespace

void IntelHexWriter::Record(unsigned type, std::uint16_t offset, const unsigned char* bytes, std::size_t count)
{
    std::string line = ":";
    unsigned sum = static_cast<unsigned>(count) + (offset >> 8) + (offset & 0xFF) + type;
    PutHexByte(line, static_cast<unsigned>(count));
    PutHexByte(line, offset >> 8);
    PutHexByte(line, offset & 0xFF);
    PutHexByte(line, type);
    for (std::size_t i = 0; i < count; ++i) {
        PutHexByte(line, bytes[i]);
        sum += bytes[i];
    }
    PutHexByte(line, (0x100 - (sum & 0xFF)) & 0xFF);
    line += '\n';
    m_out.Write(line.data(), line.size());
}

void IntelHexWriter::Data(std::uint32_t address, const unsigned char* bytes, std::size_t count)
{
    std::uint64_t at = address;
    while (count > 0) {
        const std::uint32_t base = static_cast<std::uint32_t>(at & 0xFFFF0000u);
        // A record stays inside its 64 KiB: readers differ on offsets that wrap.
        if (base != m_base) {
            const unsigned char upper[2] = {static_cast<unsigned char>(base >> 24),
                                            static_cast<unsigned char>(base >> 16)};
            Record(0x04, 0, upper, 2);
            m_base = base;
        }
        const std::size_t room = static_cast<std::size_t>(0x10000 - (at & 0xFFFF));
        const std::size_t take = std::min({count, kTextRecordData, room});
        Record(0x00, static_cast<std::uint16_t>(at & 0xFFFF), bytes, take);
        at += take;
        bytes += take;
        count -= take;
    }
}

void IntelHexWriter::Finish()
{
    Record(0x01, 0, nullptr, 0);
}

SRecordWriter::SRecordWriter(ByteOutput& out, const std::string& header) : m_out(out)
{
    const std::string text = header.substr(0, 252);
    Record('0', 0, 2, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

void SRecordWriter::Record(char type, std::uint32_t address, int addressBytes, const unsigned char* bytes,
                           std::size_t count)
{
    std::string line = "S";
    line += type;
    const unsigned length = static_cast<unsigned>(count) + static_cast<unsigned>(addressBytes) + 1;
    unsigned sum = length;
    PutHexByte(line, length);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned b = (address >> (8 * i)) & 0xFF;
        PutHexByte(line, b);
        sum += b;
    }
    for (std::size_t i = 0; i < count; ++i) {
        PutHexByte(line, bytes[i]);
        sum += bytes[i];
    }
    PutHexByte(line, (~sum) & 0xFF);
    line += '\n';
    m_out.Write(line.data(), line.size());
}

void SRecordWriter::Data(std::uint32_t address, const unsigned char* bytes, std::size_t count)
{
    std::uint64_t at = address;
    while (count > 0) {
        const std::size_t take = std::min(count, kTextRecordData);
        Record('3', static_cast<std::uint32_t>(at), 4, bytes, take);
        ++m_dataRecords;
        at += take;
        bytes += take;
        count -= take;
    }
}

void SRecordWriter::Finish()
{
    if (m_dataRecords <= 0xFFFF)
        Record('5', static_cast<std::uint32_t>(m_dataRecords), 2, nullptr, 0);
    else if (m_dataRecords <= 0xFFFFFF)
        Record('6', static_cast<std::uint32_t>(m_dataRecords), 3, nullptr, 0);
    Record('7', 0, 4, nullptr, 0);
}

}  // namespace korvex
