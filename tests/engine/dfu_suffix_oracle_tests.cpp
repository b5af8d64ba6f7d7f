// The reader against dfu-suffix (dfu-util), the peer tool that writes and checks DFU
// suffixes: files it writes read back valid with its numbers, and files it rejects are
// rejected here too.
#include "dfu_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <stdlib.h>
#include <unistd.h>

namespace {

bool HaveDfuSuffix()
{
    return std::system("command -v dfu-suffix >/dev/null 2>&1") == 0;
}

class DfuSuffixOracle : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveDfuSuffix()) GTEST_SKIP() << "dfu-suffix (package dfu-util) is not installed";
        char pattern[] = "/tmp/engine-oracle-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        m_dir = pattern;
    }

    void TearDown() override
    {
        if (!m_dir.empty()) std::system(("rm -rf '" + m_dir + "'").c_str());
    }

    std::string PathOf(const std::string& name) const { return m_dir + "/" + name; }

    static void Write(const std::string& path, const std::string& bytes)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    static std::string Load(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Runs dfu-suffix with options, then the file to work on; its exit status.
    static int Run(const std::string& options, const std::string& path)
    {
        const std::string command = "dfu-suffix " + options + " '" + path + "' >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The "Name:<tab>value" lines of dfu-suffix -c; empty when it rejects the file.
    static std::map<std::string, std::string> Check(const std::string& path)
    {
        std::map<std::string, std::string> fields;
        FILE* pipe = popen(("dfu-suffix -c '" + path + "' 2>/dev/null").c_str(), "r");
        if (pipe == nullptr) return fields;
        std::string output;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        if (pclose(pipe) != 0) return {};
        std::istringstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
            const std::size_t colon = line.find(":\t");
            if (colon != std::string::npos) {
                const std::size_t value = line.find_first_not_of('\t', colon + 1);
                fields[line.substr(0, colon)] = line.substr(value);
            }
        }
        return fields;
    }

    static std::string Hex(unsigned value)
    {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", value);
        return text;
    }

    std::string m_dir;
};

struct OracleCase {
    const char* label;
    const char* options;  // what dfu-suffix is told besides -a
    std::uint16_t vendor;
    std::uint16_t product;
    std::uint16_t release;
    std::uint16_t dfuVersion;
};

class DfuSuffixWritten : public DfuSuffixOracle, public testing::WithParamInterface<OracleCase> {};

TEST_P(DfuSuffixWritten, ReadsBackWithSameNumbers)
{
    const OracleCase& c = GetParam();
    const std::string payload = dfutest::Payload(777, 5);
    const std::string path = PathOf("image.dfu");
    Write(path, payload);
    ASSERT_EQ(0, Run(std::string(c.options) + " -a", path));
    const std::string written = Load(path);

    const dfutest::ReadResult result = dfutest::Read(written);
    ASSERT_TRUE(result.valid);
    EXPECT_EQ(result.info.vendor, c.vendor);
    EXPECT_EQ(result.info.product, c.product);
    EXPECT_EQ(result.info.release, c.release);
    EXPECT_EQ(result.info.dfuVersion, c.dfuVersion);
    EXPECT_EQ(16, result.info.suffixLength);

    const std::map<std::string, std::string> checked = Check(path);
    EXPECT_EQ(checked.at("Vendor ID"), Hex(result.info.vendor));
    EXPECT_EQ(checked.at("Product ID"), Hex(result.info.product));
    EXPECT_EQ(checked.at("BCD device"), Hex(result.info.release));
    EXPECT_EQ(checked.at("BCD DFU"), Hex(result.info.dfuVersion));
    EXPECT_EQ("16", checked.at("Length"));

    // The writer the other tests use makes the very same bytes.
    EXPECT_EQ(dfutest::WithSuffix(payload, c.vendor, c.product, c.release, c.dfuVersion), written);
}

INSTANTIATE_TEST_SUITE_P(Options, DfuSuffixWritten,
                         testing::Values(OracleCase{"Defaults", "", 0xFFFF, 0xFFFF, 0xFFFF, 0x0100},
                                         OracleCase{"AllNumbers", "-v 0x0483 -p 0xdf11 -d 0x2200", 0x0483, 0xDF11,
                                                    0x2200, 0x0100},
                                         OracleCase{"VendorOnly", "-v 0x1d50", 0x1D50, 0xFFFF, 0xFFFF, 0x0100},
                                         OracleCase{"ProductOnly", "-p 0x6017", 0xFFFF, 0x6017, 0xFFFF, 0x0100},
                                         OracleCase{"ReleaseOnly", "-d 0x0100", 0xFFFF, 0xFFFF, 0x0100, 0x0100},
                                         OracleCase{"Zeros", "-v 0 -p 0 -d 0", 0x0000, 0x0000, 0x0000, 0x0100},
                                         OracleCase{"DfuSeVersion", "-S 0x011a -v 0x0483 -p 0xdf11 -d 0x0200", 0x0483,
                                                    0xDF11, 0x0200, 0x011A}),
                         [](const testing::TestParamInfo<OracleCase>& row) { return std::string(row.param.label); });

TEST_F(DfuSuffixOracle, DfuSeImageGivesTargetName)
{
    dfutest::DfuSeTarget first;
    first.elements = dfutest::DfuSeElement(0x08000000, dfutest::Payload(100));
    dfutest::DfuSeTarget second;
    second.named = true;
    second.name = "Orrelin Board";
    second.elements = dfutest::DfuSeElement(0x08004000, dfutest::Payload(50));
    const std::string path = PathOf("dfuse.dfu");
    Write(path, dfutest::DfuSeImage({first, second}));
    ASSERT_EQ(0, Run("-S 0x011a -v 0x0483 -p 0xdf11 -d 0x0200 -a", path));

    const dfutest::ReadResult result = dfutest::Read(Load(path));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ("Orrelin Board", result.info.comment);
    EXPECT_EQ(0x0483, result.info.vendor);
}

// Any one byte changed: dfu-suffix finds the CRC wrong, and so does the reader.
TEST_F(DfuSuffixOracle, DamagedFilesRejectedByBoth)
{
    const std::string path = PathOf("image.dfu");
    Write(path, dfutest::Payload(200, 9));
    ASSERT_EQ(0, Run("-v 0x0483 -p 0xdf11 -d 0x2200 -a", path));
    const std::string written = Load(path);
    ASSERT_FALSE(Check(path).empty());
    const std::size_t size = written.size();
    for (std::size_t at : {std::size_t{0}, std::size_t{100}, size - 17, size - 16, size - 12, size - 11, size - 9,
                           size - 5, size - 4, size - 1}) {
        std::string damaged = written;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        Write(path, damaged);
        EXPECT_TRUE(Check(path).empty()) << "dfu-suffix accepted byte " << at;
        EXPECT_FALSE(dfutest::Read(damaged).valid) << "byte " << at;
    }
}

TEST_F(DfuSuffixOracle, ShortFilesRejectedByBoth)
{
    const std::string path = PathOf("short.dfu");
    Write(path, dfutest::Payload(100));
    ASSERT_EQ(0, Run("-a", path));
    const std::string written = Load(path);
    for (std::size_t size : {std::size_t{0}, std::size_t{8}, std::size_t{15}, written.size() - 1}) {
        Write(path, written.substr(0, size));
        EXPECT_TRUE(Check(path).empty()) << "dfu-suffix accepted size " << size;
        EXPECT_FALSE(dfutest::Read(written.substr(0, size)).valid) << "size " << size;
    }
}

TEST_F(DfuSuffixOracle, LargeFileValidatesLikeDfuSuffix)
{
    const std::string path = PathOf("large.dfu");
    Write(path, dfutest::Payload(5 * 1024 * 1024 + 11, 13));
    ASSERT_EQ(0, Run("-v 0x0483 -p 0xdf11 -a", path));
    const std::map<std::string, std::string> checked = Check(path);
    ASSERT_FALSE(checked.empty());
    const dfutest::ReadResult result = dfutest::Read(Load(path));
    ASSERT_TRUE(result.valid);
    EXPECT_EQ(Hex(result.info.product), checked.at("Product ID"));
}

}  // namespace
