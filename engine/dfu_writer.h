// Writing .dfu files: a plain image with its suffix, and DfuSe images built from raw
// binaries, Intel HEX and S-records. Data is copied from the inputs as the file is written,
// so memory stays flat whatever the size.
#pragma once

#include "file_io.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

struct SuffixValues {
    std::uint16_t vendor = kNotStated;
    std::uint16_t product = kNotStated;
    std::uint16_t release = kNotStated;
    std::uint16_t dfuVersion = 0x0100;  // 0x011A for DfuSe ("1.1a")
};

// Passes bytes on and keeps zlib's CRC-32 of all of them.
class CrcOutput final : public ByteOutput {
public:
    explicit CrcOutput(ByteOutput& out) : m_out(out) {}
    void Write(const void* bytes, std::size_t count) override;
    std::uint32_t Crc() const { return m_crc; }

private:
    ByteOutput& m_out;
    std::uint32_t m_crc = 0;
};

// The 16 bytes of a suffix (fields, "UFD", length 16) and the CRC of everything before it.
void WriteSuffix(CrcOutput& out, const SuffixValues& values);
// count bytes of source from offset, in pieces; a failed read names the input.
void CopyRange(ByteSource& source, const std::string& name, std::uint64_t offset, std::uint64_t count, ByteOutput& out);

// image followed by a suffix, as dfu-suffix -a writes it. An image that already ends in a
// valid suffix is refused: a second suffix would hide the first.
void WritePlainDfu(InputFile& image, const SuffixValues& values, ByteOutput& out);

// Where a run of an element's bytes comes from.
struct DataPiece {
    std::uint64_t address = 0;
    std::uint64_t length = 0;
    ByteSource* source = nullptr;
    std::uint64_t offset = 0;
    std::uint32_t input = 0;  // index into the builder's input names
};

struct PlannedElement {
    std::uint32_t address = 0;
    std::uint64_t size = 0;
    std::vector<DataPiece> pieces;
};

struct PlannedTarget {
    std::uint8_t alternateSetting = 0;
    bool named = false;
    std::string name;
    std::vector<PlannedElement> elements;
    std::uint64_t Size() const;  // dwTargetSize: element headers and data
};

// Collects targets and their inputs, then plans the elements and writes the image.
class DfuSeBuilder {
public:
    enum class Ways {
        kOwn,        // all data of a target merged by address: one element per contiguous run
        kDfusePack,  // dfuse-pack's: a target per binary, one per text format; "ST..." names
    };
    DfuSeBuilder(Ways ways, const Path& output);
    ~DfuSeBuilder();

    // A new target; the inputs that follow go to it. The name is at most 255 bytes.
    void BeginTarget(std::uint8_t alternateSetting, bool named, const std::string& name);
    // The alternate setting of targets made without BeginTarget.
    void SetDefaultAlternateSetting(std::uint8_t alternateSetting) { m_defaultAlternate = alternateSetting; }
    // alternateSetting < 0: the current target; else the latest target of that setting, or a
    // new one.
    void AddBinary(const Path& path, std::uint64_t address, int alternateSetting = -1);
    void AddIntelHex(const Path& path);
    void AddSRecords(const Path& path);

    // True when path names one of the inputs.
    bool ReadsFrom(const Path& path) const;
    // The elements, checked: no two inputs' data overlap, every size fits its field.
    std::vector<PlannedTarget> Plan() const;
    void Write(const SuffixValues& values, ByteOutput& out) const;

private:
    enum class Kind { kBinary, kIntelHex, kSRecords };
    struct Group {
        Kind kind = Kind::kBinary;
        std::vector<DataPiece> pieces;
    };
    struct Target {
        std::uint8_t alternateSetting = 0;
        bool named = false;
        std::string name;
        std::vector<Group> groups;
    };
    class PieceSink;

    Target& CurrentTarget();
    Target& TargetForText(Kind kind);
    void AddText(const Path& path, Kind kind);
    std::string RangeText(const DataPiece& piece) const;

    Ways m_ways;
    Path m_output;
    std::uint8_t m_defaultAlternate = 0;
    std::vector<Target> m_targets;
    std::vector<std::unique_ptr<InputFile>> m_files;
    std::vector<std::string> m_inputNames;
    std::unique_ptr<ScratchFile> m_scratch;
};

// Limits of the DfuSe format that a build checks.
constexpr std::size_t kMaxTargets = 255;
constexpr std::size_t kMaxTargetName = 255;

}  // namespace korvex
