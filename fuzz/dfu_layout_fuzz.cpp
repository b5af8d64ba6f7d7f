// libFuzzer target of the .dfu layout reader. Each input is read twice as it is and twice
// completed into a DfuSe file with a correct suffix and CRC, so the mutations reach the
// DfuSe structure behind the CRC check: once in one read and once in reads of a size the
// input chooses, which must give the same layout. Besides what the sanitizers catch, it
// stops on a validity other than the file check's, a completed file that is not valid, a
// listing past its bounds, or an element outside the file. The CTest run holds it to a small
// RSS limit: whatever the input states, the reader must not allocate for it.
#include "dfu_layout.h"
#include "dfu_layout_block.h"
#include "dfu_layout_compare.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "dfu_layout_fuzz: %s\n", what);
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

std::string Completed(const std::string& body)
{
    std::string file = body;
    const unsigned char suffix[12] = {0x00, 0x02, 0x11, 0xDF, 0x83, 0x04, 0x1A, 0x01, 'U', 'F', 'D', 16};
    file.append(reinterpret_cast<const char*>(suffix), sizeof suffix);
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(file.data()),
                                                               static_cast<uInt>(file.size()))) ^
                              0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
    return file;
}

korvex::DfuLayout Read(const std::string& file, std::size_t chunk)
{
    BytesSource source(file);
    korvex::DfuLayout layout;
    korvex::ReadDfuLayout(source, layout, chunk);
    return layout;
}

void Exercise(const std::string& file, std::size_t chunk)
{
    const korvex::DfuLayout layout = Read(file, korvex::kReadChunkSize);
    Check(dfutest::Describe(Read(file, chunk)) == dfutest::Describe(layout), "the layout depends on the read size");

    BytesSource source(file);
    korvex::DfuFileInfo info;
    Check(korvex::ReadDfuFile(source, info) == (layout.verdict == korvex::DfuVerdict::kValid),
          "validity differs from the file check");
    Check(layout.findings.size() <= korvex::kMaxListedFindings, "findings past their bound");
    Check(layout.targets.size() <= layout.statedTargetCount, "more targets than stated");
    std::size_t listed = 0;
    for (const korvex::DfuTarget& target : layout.targets) {
        Check(target.elements.size() <= target.elementCount, "more elements listed than found");
        Check(target.name.size() <= 255, "name past 255 bytes");
        Check(target.offset + 274 <= file.size(), "target outside the file");
        for (const korvex::DfuElement& element : target.elements)
            Check(element.dataOffset <= file.size(), "element header outside the file");
        listed += target.elements.size();
    }
    Check(listed <= korvex::kMaxListedElements, "elements past their bound");

    KorvexDfuLayout* block = korvex::NewLayoutBlock(layout, {&korvex::Windows1252ToWide, 1252});
    Check(block != nullptr && block->targetCount == layout.targets.size(), "block");
    korvex::FreeLayoutBlock(block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t chunk = size > 0 ? 1 + data[size - 1] % 97 : 1;
    Exercise(input, chunk);
    // A seed that is already a whole file would be completed with its own suffix inside;
    // its body without the suffix is what the mutations should work on.
    const std::string completed = Completed(size > 16 ? input.substr(0, size - 16) : input);
    Exercise(completed, chunk);
    Check(Read(completed, korvex::kReadChunkSize).verdict == korvex::DfuVerdict::kValid, "a completed file is invalid");
    return 0;
}
