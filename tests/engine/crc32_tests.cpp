// The engine's CRC-32 against zlib's: every length up to a few folds of the widest register,
// every alignment of it, a range of starting values, calls chained in pieces, and every way
// it computes, each forced in turn (a way this processor lacks is skipped, and says so).
#include "crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using CrcFunction = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);

std::uint32_t ZlibCrc(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(length)));
}

std::vector<unsigned char> Bytes(std::size_t count)
{
    std::vector<unsigned char> bytes(count);
    std::uint32_t state = 2463534242u;
    for (unsigned char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

template <korvex::CrcPath path>
std::uint32_t Forced(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return korvex::Crc32With(path, crc, data, length);
}

struct Way {
    const char* label;
    CrcFunction crc;
    korvex::CrcPath needs;
};

class Crc32Way : public testing::TestWithParam<Way> {
protected:
    void SetUp() override
    {
        if (!korvex::CrcPathAvailable(GetParam().needs))
            GTEST_SKIP() << "this processor or system has no " << korvex::CrcPathName(GetParam().needs);
    }
};

TEST_P(Crc32Way, MatchesZlibAtEveryLengthAndAlignment)
{
    const std::vector<unsigned char> bytes = Bytes(4096 + 64);
    // Below one fold, at and around multiples of each register's fold and of the 16-byte
    // block, with every tail length, at every offset within a 64-byte register; the starting
    // values take turns.
    const std::uint32_t starts[] = {0u, 0xFFFFFFFFu, 0x12345678u};
    for (std::size_t offset = 0; offset < 64; ++offset) {
        for (std::size_t length = 0; length <= 4096; ++length) {
            const std::uint32_t start = starts[(offset + length) % 3];
            const unsigned char* data = bytes.data() + offset;
            ASSERT_EQ(GetParam().crc(start, data, length), ZlibCrc(start, data, length))
                << "length " << length << ", offset " << offset << ", start " << start;
        }
    }
}

TEST_P(Crc32Way, ChainsAcrossPiecesAsOneCall)
{
    const std::vector<unsigned char> bytes = Bytes(3 * 1024 * 1024 + 5);
    const std::uint32_t whole = ZlibCrc(0, bytes.data(), bytes.size());
    for (const std::size_t piece :
         {std::size_t{63}, std::size_t{64}, std::size_t{255}, std::size_t{1000}, std::size_t{1 << 20}}) {
        std::uint32_t crc = 0;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::size_t count = std::min(piece, bytes.size() - at);
            crc = GetParam().crc(crc, bytes.data() + at, count);
        }
        EXPECT_EQ(crc, whole) << "pieces of " << piece;
    }
}

TEST_P(Crc32Way, GivesTheCheckValueOfCrc32)
{
    const std::string check = "123456789";
    EXPECT_EQ(0xCBF43926u, GetParam().crc(0, reinterpret_cast<const unsigned char*>(check.data()), check.size()));
    // Zeros, where a fault in the starting value cannot hide behind the data.
    const std::vector<unsigned char> zeros(4096, 0);
    EXPECT_EQ(GetParam().crc(0, zeros.data(), zeros.size()), ZlibCrc(0, zeros.data(), zeros.size()));
}

INSTANTIATE_TEST_SUITE_P(Ways, Crc32Way,
                         testing::Values(Way{"Chosen", &korvex::Crc32, korvex::CrcPath::kZlib},
                                         Way{"Fold128", &Forced<korvex::CrcPath::kFold128>, korvex::CrcPath::kFold128},
                                         Way{"Zlib", &korvex::Crc32Zlib, korvex::CrcPath::kZlib},
                                         Way{"Fold256", &Forced<korvex::CrcPath::kFold256>, korvex::CrcPath::kFold256},
                                         Way{"Fold512", &Forced<korvex::CrcPath::kFold512>, korvex::CrcPath::kFold512}),
                         [](const testing::TestParamInfo<Way>& row) { return std::string(row.param.label); });

// The choice follows what the processor offers: the widest path it has.
TEST(Crc32Choice, IsTheWidestAvailablePath)
{
    korvex::CrcPath widest = korvex::CrcPath::kZlib;
    for (const korvex::CrcPath path : {korvex::CrcPath::kFold128, korvex::CrcPath::kFold256, korvex::CrcPath::kFold512})
        if (korvex::CrcPathAvailable(path)) widest = path;
    EXPECT_EQ(widest, korvex::ChosenCrcPath()) << "chosen: " << korvex::CrcPathName(korvex::ChosenCrcPath());
}

}  // namespace
