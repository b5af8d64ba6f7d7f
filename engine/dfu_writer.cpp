#include "dfu_writer.h"

#include "crc32.h"
#include "dfu_format.h"
#include "firmware_text.h"

#include <algorithm>
#include <cstdio>

namespace korvex {
namespace {

constexpr std::size_t kCopyPiece = 1 << 20;
constexpr char kDfusePackName[] = "ST...";

void PutLe16(unsigned char* p, std::uint16_t value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

void PutLe32(unsigned char* p, std::uint32_t value)
{
    PutLe16(p, static_cast<std::uint16_t>(value));
    PutLe16(p + 2, static_cast<std::uint16_t>(value >> 16));
}

void WriteLe32(ByteOutput& out, std::uint32_t value)
{
    unsigned char bytes[4];
    PutLe32(bytes, value);
    out.Write(bytes, sizeof bytes);
}

std::string Hex32(std::uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

void CrcOutput::Write(const void* bytes, std::size_t count)
{
    m_crc = Crc32(m_crc, static_cast<const unsigned char*>(bytes), count);
    m_out.Write(bytes, count);
}

void WriteSuffix(CrcOutput& out, const SuffixValues& values)
{
    unsigned char suffix[kSuffixSize] = {};
    PutLe16(suffix + 0, values.release);
    PutLe16(suffix + 2, values.product);
    PutLe16(suffix + 4, values.vendor);
    PutLe16(suffix + 6, values.dfuVersion);
    suffix[8] = 'U';
    suffix[9] = 'F';
    suffix[10] = 'D';
    suffix[11] = static_cast<unsigned char>(kSuffixSize);
    out.Write(suffix, 12);
    // The stored CRC is zlib's without its final inversion.
    PutLe32(suffix + 12, out.Crc() ^ 0xFFFFFFFFu);
    out.Write(suffix + 12, 4);
}

void CopyRange(ByteSource& source, const std::string& name, std::uint64_t offset, std::uint64_t count, ByteOutput& out)
{
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPiece)));
    while (count > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
        if (!source.ReadAt(offset, buffer.data(), piece))
            throw DfuError(DfuError::Kind::kIo,
                           name + ": cannot read (system error " + std::to_string(source.LastError()) + ")");
        out.Write(buffer.data(), piece);
        offset += piece;
        count -= piece;
    }
}

void WritePlainDfu(InputFile& image, const SuffixValues& values, ByteOutput& out)
{
    DfuFileInfo info;
    if (ReadDfuFile(image, info))
        ThrowInvalid(PathText(image.path()) + ": already ends in a valid DFU suffix; remove it first");
    CrcOutput crc(out);
    CopyRange(image, PathText(image.path()), 0, image.Size(), crc);
    WriteSuffix(crc, values);
}

std::uint64_t PlannedTarget::Size() const
{
    std::uint64_t size = 0;
    for (const PlannedElement& element : elements) size += format::kElementHeaderSize + element.size;
    return size;
}

// Decoded data of one text input, appended to the scratch file as pieces at their addresses.
class DfuSeBuilder::PieceSink final : public RecordSink {
public:
    PieceSink(ScratchFile& scratch, Group& group, std::uint32_t input, std::string& header)
        : m_scratch(scratch), m_group(group), m_input(input), m_header(header)
    {
    }
    void Data(std::uint32_t address, const unsigned char* bytes, std::size_t count) override
    {
        const std::uint64_t offset = m_scratch.Size();
        m_scratch.Write(bytes, count);
        if (!m_group.pieces.empty()) {
            DataPiece& last = m_group.pieces.back();
            if (last.address + last.length == address && last.offset + last.length == offset) {
                last.length += count;
                return;
            }
        }
        m_group.pieces.push_back({address, count, &m_scratch, offset, m_input});
    }
    void Header(const std::string& text) override
    {
        if (m_header.empty()) m_header = text;
    }

private:
    ScratchFile& m_scratch;
    Group& m_group;
    std::uint32_t m_input;
    std::string& m_header;
};

DfuSeBuilder::DfuSeBuilder(Ways ways, const Path& output) : m_ways(ways), m_output(output) {}

DfuSeBuilder::~DfuSeBuilder() = default;

void DfuSeBuilder::BeginTarget(std::uint8_t alternateSetting, bool named, const std::string& name)
{
    if (m_targets.size() == kMaxTargets)
        ThrowUsage("more than " + std::to_string(kMaxTargets) + " targets: a DfuSe image counts them in one byte");
    if (name.size() > kMaxTargetName)
        ThrowUsage("target name of " + std::to_string(name.size()) + " bytes: a DfuSe target name holds at most " +
                   std::to_string(kMaxTargetName));
    m_targets.push_back({alternateSetting, named, name, {}});
}

DfuSeBuilder::Target& DfuSeBuilder::CurrentTarget()
{
    const bool dfusePack = m_ways == Ways::kDfusePack;
    if (m_targets.empty()) BeginTarget(m_defaultAlternate, dfusePack, dfusePack ? kDfusePackName : "");
    return m_targets.back();
}

void DfuSeBuilder::AddBinary(const Path& path, std::uint64_t address, int alternateSetting)
{
    auto file = std::make_unique<InputFile>(path);
    const std::uint64_t size = file->Size();
    if (address > 0xFFFFFFFFu || (size > 0 && address + size - 1 > 0xFFFFFFFFu))
        ThrowUsage(PathText(path) + ": " + std::to_string(size) + " bytes at " + Hex32(address) +
                   " reach past 32 bits of address");
    Target* target = nullptr;
    const std::uint8_t alternate =
        static_cast<std::uint8_t>(alternateSetting < 0 ? m_defaultAlternate : alternateSetting);
    if (m_ways == Ways::kDfusePack) {
        // dfuse-pack makes a target of each binary.
        BeginTarget(alternate, true, kDfusePackName);
        target = &m_targets.back();
    } else if (alternateSetting < 0) {
        target = &CurrentTarget();
    } else {
        for (auto it = m_targets.rbegin(); it != m_targets.rend() && target == nullptr; ++it)
            if (it->alternateSetting == alternate) target = &*it;
        if (target == nullptr) {
            BeginTarget(alternate, false, {});
            target = &m_targets.back();
        }
    }
    Group group;
    group.kind = Kind::kBinary;
    const auto input = static_cast<std::uint32_t>(m_inputNames.size());
    m_inputNames.push_back(PathText(path));
    if (size > 0 || m_ways == Ways::kDfusePack) group.pieces.push_back({address, size, file.get(), 0, input});
    target->groups.push_back(std::move(group));
    m_files.push_back(std::move(file));
}

DfuSeBuilder::Target& DfuSeBuilder::TargetForText(Kind kind)
{
    if (m_ways == Ways::kOwn) return CurrentTarget();
    // dfuse-pack puts all HEX files in one target, and the S-records in one.
    for (Target& target : m_targets)
        if (!target.groups.empty() && target.groups.front().kind == kind) return target;
    BeginTarget(m_defaultAlternate, true, kDfusePackName);
    return m_targets.back();
}

void DfuSeBuilder::AddText(const Path& path, Kind kind)
{
    auto file = std::make_unique<InputFile>(path);
    if (!m_scratch) m_scratch = std::make_unique<ScratchFile>(m_output);
    Target& target = TargetForText(kind);
    Group group;
    group.kind = kind;
    const auto input = static_cast<std::uint32_t>(m_inputNames.size());
    m_inputNames.push_back(PathText(path));
    std::string header;
    PieceSink sink(*m_scratch, group, input, header);
    if (kind == Kind::kIntelHex)
        ReadIntelHex(*file, m_inputNames.back(), sink);
    else
        ReadSRecords(*file, m_inputNames.back(), sink);
    // dfuse-pack names the target of S-records for their header.
    if (m_ways == Ways::kDfusePack && kind == Kind::kSRecords && target.groups.empty() && !header.empty()) {
        if (header.size() > kMaxTargetName)
            ThrowInvalid(m_inputNames.back() + ": S0 header of " + std::to_string(header.size()) +
                         " bytes: a DfuSe target name holds at most " + std::to_string(kMaxTargetName));
        target.name = header;
    }
    target.groups.push_back(std::move(group));
    m_files.push_back(std::move(file));
}

void DfuSeBuilder::AddIntelHex(const Path& path)
{
    AddText(path, Kind::kIntelHex);
}

void DfuSeBuilder::AddSRecords(const Path& path)
{
    AddText(path, Kind::kSRecords);
}

bool DfuSeBuilder::ReadsFrom(const Path& path) const
{
    for (const auto& file : m_files)
        if (file->IsSameFile(path)) return true;
    return false;
}

std::string DfuSeBuilder::RangeText(const DataPiece& piece) const
{
    return m_inputNames[piece.input] + " " + Hex32(piece.address) + "-" +
           Hex32(piece.address + std::max<std::uint64_t>(piece.length, 1) - 1);
}

namespace {

bool ByAddress(const DataPiece& a, const DataPiece& b)
{
    return a.address < b.address || (a.address == b.address && a.length < b.length);
}

// Contiguous pieces, in the order given, as elements.
void AppendRuns(const std::vector<DataPiece>& pieces, std::vector<PlannedElement>& elements)
{
    for (const DataPiece& piece : pieces) {
        if (!elements.empty() && !elements.back().pieces.empty()) {
            PlannedElement& last = elements.back();
            if (std::uint64_t{last.address} + last.size == piece.address && piece.length > 0) {
                last.size += piece.length;
                last.pieces.push_back(piece);
                continue;
            }
        }
        elements.push_back({static_cast<std::uint32_t>(piece.address), piece.length, {piece}});
    }
}

}  // namespace

std::vector<PlannedTarget> DfuSeBuilder::Plan() const
{
    std::vector<PlannedTarget> planned;
    bool anyData = false;
    std::uint64_t imageSize = format::kImagePrefixSize + kSuffixSize;
    for (std::size_t t = 0; t < m_targets.size(); ++t) {
        const Target& target = m_targets[t];
        std::vector<DataPiece> all;
        for (const Group& group : target.groups) all.insert(all.end(), group.pieces.begin(), group.pieces.end());
        std::stable_sort(all.begin(), all.end(), ByAddress);
        const DataPiece* reach = nullptr;  // the piece that reaches furthest so far
        for (const DataPiece& piece : all) {
            if (piece.length == 0) continue;
            anyData = true;
            if (reach != nullptr && reach->address + reach->length > piece.address)
                ThrowInvalid("data overlap in target " + std::to_string(t) + ": " + RangeText(*reach) + " and " +
                             RangeText(piece));
            if (reach == nullptr || piece.address + piece.length > reach->address + reach->length) reach = &piece;
        }
        PlannedTarget out{target.alternateSetting, target.named, target.name, {}};
        if (m_ways == Ways::kOwn) {
            std::vector<DataPiece> data;
            for (const DataPiece& piece : all)
                if (piece.length > 0) data.push_back(piece);
            AppendRuns(data, out.elements);
        } else {
            for (const Group& group : target.groups) {
                std::vector<PlannedElement> runs;
                if (group.kind == Kind::kBinary) {
                    for (const DataPiece& piece : group.pieces)
                        runs.push_back({static_cast<std::uint32_t>(piece.address), piece.length, {piece}});
                } else {
                    std::vector<DataPiece> pieces = group.pieces;
                    if (group.kind == Kind::kIntelHex) std::stable_sort(pieces.begin(), pieces.end(), ByAddress);
                    AppendRuns(pieces, runs);
                }
                out.elements.insert(out.elements.end(), runs.begin(), runs.end());
            }
        }
        for (const PlannedElement& element : out.elements)
            if (element.size > 0xFFFFFFFFu)
                ThrowInvalid("target " + std::to_string(t) + ": element at " + Hex32(element.address) + " of " +
                             std::to_string(element.size) + " bytes: over the 4 GiB an element's size can state");
        if (out.Size() > 0xFFFFFFFFu)
            ThrowInvalid("target " + std::to_string(t) + " of " + std::to_string(out.Size()) +
                         " bytes: over the 4 GiB a target's size can state");
        imageSize += format::kTargetPrefixSize + out.Size();
        planned.push_back(std::move(out));
    }
    if (!anyData) ThrowInvalid("no data in any input: nothing to write");
    if (imageSize > 0xFFFFFFFFu)
        ThrowInvalid("DfuSe image of " + std::to_string(imageSize) + " bytes: over the 4 GiB its size can state");
    return planned;
}

void DfuSeBuilder::Write(const SuffixValues& values, ByteOutput& out) const
{
    const std::vector<PlannedTarget> targets = Plan();
    std::uint64_t imageSize = format::kImagePrefixSize + kSuffixSize;
    for (const PlannedTarget& target : targets) imageSize += format::kTargetPrefixSize + target.Size();

    CrcOutput crc(out);
    unsigned char prefix[format::kImagePrefixSize] = {'D', 'f', 'u', 'S', 'e', format::kImageFormatVersion};
    // dfuse-pack states the whole file's size here, suffix included; readers accept both.
    PutLe32(prefix + 6, static_cast<std::uint32_t>(imageSize));
    prefix[10] = static_cast<unsigned char>(targets.size());
    crc.Write(prefix, sizeof prefix);
    for (const PlannedTarget& target : targets) {
        unsigned char head[format::kTargetPrefixSize] = {'T', 'a', 'r', 'g', 'e', 't', target.alternateSetting};
        PutLe32(head + format::kTargetNamedOffset, target.named ? 1 : 0);
        std::copy(target.name.begin(), target.name.end(), head + format::kTargetNameOffset);
        PutLe32(head + format::kTargetSizeOffset, static_cast<std::uint32_t>(target.Size()));
        PutLe32(head + format::kTargetSizeOffset + 4, static_cast<std::uint32_t>(target.elements.size()));
        crc.Write(head, sizeof head);
        for (const PlannedElement& element : target.elements) {
            WriteLe32(crc, element.address);
            WriteLe32(crc, static_cast<std::uint32_t>(element.size));
            for (const DataPiece& piece : element.pieces)
                CopyRange(*piece.source, m_inputNames[piece.input], piece.offset, piece.length, crc);
        }
    }
    SuffixValues suffix = values;
    suffix.dfuVersion = format::kDfuSeVersion;
    WriteSuffix(crc, suffix);
}

}  // namespace korvex
