#include "crc32.h"

#include <zlib.h>

#include <climits>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#  define KORVEX_CRC_FOLDING 1
#  include <cpuid.h>
#  include <immintrin.h>
#else
#  define KORVEX_CRC_FOLDING 0
#endif

namespace korvex {

std::uint32_t Crc32Zlib(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    uLong value = crc;
    while (length > 0) {
        // zlib counts in uInt; a longer run goes in pieces.
        const uInt count = length > UINT_MAX ? UINT_MAX : static_cast<uInt>(length);
        value = crc32(value, data, count);
        data += count;
        length -= count;
    }
    return static_cast<std::uint32_t>(value);
}

#if KORVEX_CRC_FOLDING

namespace {

// The CRC's polynomial x^32 + x^26 + ... + 1 with its x^32 term.
constexpr std::uint64_t kPolynomial = 0x104C11DB7ull;

// x^n mod P, bit-reflected as zlib's CRC holds its register, and shifted left by one so a
// 64-bit carry-less product lands where the folded block expects it.
constexpr std::uint64_t FoldingConstant(unsigned n)
{
    std::uint64_t remainder = 1;
    for (unsigned i = 0; i < n; ++i) {
        remainder <<= 1;
        if ((remainder & 0x100000000ull) != 0) remainder ^= kPolynomial;
    }
    std::uint64_t reflected = 0;
    for (unsigned bit = 0; bit < 32; ++bit)
        if ((remainder & (std::uint64_t{1} << bit)) != 0) reflected |= std::uint64_t{1} << (31 - bit);
    return reflected << 1;
}

// A 16-byte block is carried d bits further on as two products added into the block there:
// its first eight bytes (the low half of the register, the higher powers) times
// x^(d+32) mod P, its last eight times x^(d-32) mod P. Four blocks in flight move by 512
// bits at a time; at the end the four fold into one, 128 bits at a time.
constexpr std::uint64_t kFold512Low = FoldingConstant(512 + 32);
constexpr std::uint64_t kFold512High = FoldingConstant(512 - 32);
constexpr std::uint64_t kFold128Low = FoldingConstant(128 + 32);
constexpr std::uint64_t kFold128High = FoldingConstant(128 - 32);
static_assert(kFold512Low == 0x154442BD4ull && kFold128Low == 0x1751997D0ull,
              "the folding constants of zlib's CRC-32 polynomial");

__attribute__((target("pclmul,sse2"))) inline __m128i FoldInto(__m128i block, __m128i constants, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(block, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(block, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

}  // namespace

bool CarrylessMultiplyAvailable()
{
    static const bool available = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
        return (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
    }();
    return available;
}

__attribute__((target("pclmul,sse2"))) std::uint32_t Crc32Folded(std::uint32_t crc, const unsigned char* data,
                                                                 std::size_t length)
{
    if (length < 64) return Crc32Zlib(crc, data, length);

    // zlib's register starts as the inverse of the crc passed in. Folding keeps no
    // register, so that inverse is added to the first four bytes, as the register would add it.
    const __m128i fold512 = _mm_set_epi64x(static_cast<long long>(kFold512High), static_cast<long long>(kFold512Low));
    const __m128i fold128 = _mm_set_epi64x(static_cast<long long>(kFold128High), static_cast<long long>(kFold128Low));
    __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(~crc)));
    __m128i x1 = Load(data + 16);
    __m128i x2 = Load(data + 32);
    __m128i x3 = Load(data + 48);
    data += 64;
    length -= 64;
    for (; length >= 64; data += 64, length -= 64) {
        x0 = FoldInto(x0, fold512, Load(data));
        x1 = FoldInto(x1, fold512, Load(data + 16));
        x2 = FoldInto(x2, fold512, Load(data + 32));
        x3 = FoldInto(x3, fold512, Load(data + 48));
    }
    x0 = FoldInto(x0, fold128, x1);
    x0 = FoldInto(x0, fold128, x2);
    x0 = FoldInto(x0, fold128, x3);
    for (; length >= 16; data += 16, length -= 16) x0 = FoldInto(x0, fold128, Load(data));

    // The folded block leaves the same remainder as all the bytes folded into it. zlib
    // reduces its 16 bytes from a zero register (a crc argument of all ones, which zlib
    // inverts on the way in), then goes on with the bytes left over.
    unsigned char folded[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x0);
    const std::uint32_t reduced = Crc32Zlib(0xFFFFFFFFu, folded, sizeof folded);
    return Crc32Zlib(reduced, data, length);
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return CarrylessMultiplyAvailable() ? Crc32Folded(crc, data, length) : Crc32Zlib(crc, data, length);
}

#else

bool CarrylessMultiplyAvailable()
{
    return false;
}

std::uint32_t Crc32Folded(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return Crc32Zlib(crc, data, length);
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return Crc32Zlib(crc, data, length);
}

#endif

}  // namespace korvex
