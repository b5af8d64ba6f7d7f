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
// x^(d+32) mod P, its last eight times x^(d-32) mod P. The wider registers do the same to
// each of their 16-byte lanes at once.
struct FoldingConstants {
    std::uint64_t low;
    std::uint64_t high;
};

constexpr FoldingConstants FoldBy(unsigned bits)
{
    return {FoldingConstant(bits + 32), FoldingConstant(bits - 32)};
}

// Four blocks in flight: 16-byte blocks move by 512 bits, 32-byte ones by 1024 and 64-byte
// ones by 2048; at the end the four fold into one, a register's width at a time, and its
// lanes into one, 128 bits at a time.
constexpr FoldingConstants kFold128 = FoldBy(128);
constexpr FoldingConstants kFold256 = FoldBy(256);
constexpr FoldingConstants kFold512 = FoldBy(512);
constexpr FoldingConstants kFold1024 = FoldBy(1024);
constexpr FoldingConstants kFold2048 = FoldBy(2048);
static_assert(kFold512.low == 0x154442BD4ull && kFold128.low == 0x1751997D0ull,
              "the folding constants of zlib's CRC-32 polynomial");

__attribute__((target("pclmul,sse2"))) inline __m128i Constants128(FoldingConstants k)
{
    return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

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

// The folded block leaves the same remainder as all the bytes folded into it. zlib reduces
// its 16 bytes from a zero register (a crc argument of all ones, which zlib inverts on the
// way in), then goes on with the bytes left over.
__attribute__((target("pclmul,sse2"))) std::uint32_t Finish(__m128i folded, const unsigned char* rest,
                                                            std::size_t length)
{
    unsigned char bytes[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes), folded);
    return Crc32Zlib(Crc32Zlib(0xFFFFFFFFu, bytes, sizeof bytes), rest, length);
}

// The vector helpers below are inlined into their callers, so no 32- or 64-byte vector
// crosses a call: the Windows builds' stack is only 16-byte aligned.
__attribute__((target("avx2,vpclmulqdq,pclmul"), always_inline)) inline __m256i FoldInto256(__m256i block,
                                                                                            __m256i constants,
                                                                                            __m256i next)
{
    const __m256i low = _mm256_clmulepi64_epi128(block, constants, 0x00);
    const __m256i high = _mm256_clmulepi64_epi128(block, constants, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(low, high), next);
}

__attribute__((target("avx2,vpclmulqdq,pclmul"), always_inline)) inline __m256i Load256(const unsigned char* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

__attribute__((target("avx512f,vpclmulqdq,pclmul"), always_inline)) inline __m512i FoldInto512(__m512i block,
                                                                                               __m512i constants,
                                                                                               __m512i next)
{
    const __m512i low = _mm512_clmulepi64_epi128(block, constants, 0x00);
    const __m512i high = _mm512_clmulepi64_epi128(block, constants, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // low ^ high ^ next
}

__attribute__((target("avx512f,vpclmulqdq,pclmul"), always_inline)) inline __m512i Load512(const unsigned char* at)
{
    return _mm512_loadu_si512(at);
}

// zlib's register starts as the inverse of the crc passed in. Folding keeps no register,
// so that inverse is added to the first four bytes, as the register would add it.
__attribute__((target("pclmul,sse2"))) inline __m128i StartingValue(std::uint32_t crc)
{
    return _mm_cvtsi32_si128(static_cast<int>(~crc));
}

__attribute__((target("pclmul,sse2"))) std::uint32_t Fold128(std::uint32_t crc, const unsigned char* data,
                                                             std::size_t length)
{
    if (length < 64) return Crc32Zlib(crc, data, length);

    const __m128i fold512 = Constants128(kFold512);
    const __m128i fold128 = Constants128(kFold128);
    __m128i x0 = _mm_xor_si128(Load(data), StartingValue(crc));
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
    return Finish(x0, data, length);
}

__attribute__((target("avx2,vpclmulqdq,pclmul"))) std::uint32_t Fold256(std::uint32_t crc, const unsigned char* data,
                                                                        std::size_t length)
{
    if (length < 128) return Fold128(crc, data, length);

    const __m256i fold1024 = _mm256_broadcastsi128_si256(Constants128(kFold1024));
    const __m256i fold256 = _mm256_broadcastsi128_si256(Constants128(kFold256));
    __m256i y0 = _mm256_xor_si256(Load256(data), _mm256_zextsi128_si256(StartingValue(crc)));
    __m256i y1 = Load256(data + 32);
    __m256i y2 = Load256(data + 64);
    __m256i y3 = Load256(data + 96);
    data += 128;
    length -= 128;
    for (; length >= 128; data += 128, length -= 128) {
        y0 = FoldInto256(y0, fold1024, Load256(data));
        y1 = FoldInto256(y1, fold1024, Load256(data + 32));
        y2 = FoldInto256(y2, fold1024, Load256(data + 64));
        y3 = FoldInto256(y3, fold1024, Load256(data + 96));
    }
    y0 = FoldInto256(y0, fold256, y1);
    y0 = FoldInto256(y0, fold256, y2);
    y0 = FoldInto256(y0, fold256, y3);
    for (; length >= 32; data += 32, length -= 32) y0 = FoldInto256(y0, fold256, Load256(data));

    const __m128i fold128 = Constants128(kFold128);
    __m128i x = FoldInto(_mm256_castsi256_si128(y0), fold128, _mm256_extracti128_si256(y0, 1));
    for (; length >= 16; data += 16, length -= 16) x = FoldInto(x, fold128, Load(data));
    return Finish(x, data, length);
}

__attribute__((target("avx512f,vpclmulqdq,pclmul"))) std::uint32_t Fold512(std::uint32_t crc, const unsigned char* data,
                                                                           std::size_t length)
{
    if (length < 256) return Fold128(crc, data, length);

    const __m512i fold2048 = _mm512_maskz_broadcast_i32x4(0xFFFF, Constants128(kFold2048));
    const __m512i fold512 = _mm512_maskz_broadcast_i32x4(0xFFFF, Constants128(kFold512));
    __m512i z0 = _mm512_xor_si512(Load512(data), _mm512_zextsi128_si512(StartingValue(crc)));
    __m512i z1 = Load512(data + 64);
    __m512i z2 = Load512(data + 128);
    __m512i z3 = Load512(data + 192);
    data += 256;
    length -= 256;
    for (; length >= 256; data += 256, length -= 256) {
        z0 = FoldInto512(z0, fold2048, Load512(data));
        z1 = FoldInto512(z1, fold2048, Load512(data + 64));
        z2 = FoldInto512(z2, fold2048, Load512(data + 128));
        z3 = FoldInto512(z3, fold2048, Load512(data + 192));
    }
    z0 = FoldInto512(z0, fold512, z1);
    z0 = FoldInto512(z0, fold512, z2);
    z0 = FoldInto512(z0, fold512, z3);
    for (; length >= 64; data += 64, length -= 64) z0 = FoldInto512(z0, fold512, Load512(data));

    const __m128i fold128 = Constants128(kFold128);
    __m128i x = _mm512_maskz_extracti32x4_epi32(0xF, z0, 0);
    x = FoldInto(x, fold128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 1));
    x = FoldInto(x, fold128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 2));
    x = FoldInto(x, fold128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 3));
    for (; length >= 16; data += 16, length -= 16) x = FoldInto(x, fold128, Load(data));
    return Finish(x, data, length);
}

// What the processor has and the system saves, asked once.
struct Processor {
    bool fold128 = false;
    bool fold256 = false;
    bool fold512 = false;
};

Processor AskProcessor()
{
    constexpr unsigned kPclmul = 1u << 1, kOsXsave = 1u << 27, kAvx = 1u << 28, kSse2 = 1u << 26;
    constexpr unsigned kAvx2 = 1u << 5, kAvx512F = 1u << 16, kVpclmulqdq = 1u << 10;
    // XCR0: SSE and AVX state for 32-byte registers; with the mask registers and the upper
    // halves and upper sixteen of the 64-byte ones for AVX-512.
    constexpr std::uint64_t kYmmState = 0x06, kZmmState = 0xE6;

    Processor processor;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return processor;
    processor.fold128 = (c & kPclmul) != 0 && (d & kSse2) != 0;
    if (!processor.fold128 || (c & kOsXsave) == 0 || (c & kAvx) == 0) return processor;
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    const std::uint64_t saved = (std::uint64_t{high} << 32) | low;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0 || (c & kVpclmulqdq) == 0) return processor;
    processor.fold256 = (b & kAvx2) != 0 && (saved & kYmmState) == kYmmState;
    processor.fold512 = (b & kAvx512F) != 0 && (saved & kZmmState) == kZmmState;
    return processor;
}

const Processor& ThisProcessor()
{
    static const Processor processor = AskProcessor();
    return processor;
}

CrcPath ChoosePath()
{
    const Processor& processor = ThisProcessor();
    if (processor.fold512) return CrcPath::kFold512;
    if (processor.fold256) return CrcPath::kFold256;
    return processor.fold128 ? CrcPath::kFold128 : CrcPath::kZlib;
}

}  // namespace

bool CrcPathAvailable(CrcPath path)
{
    const Processor& processor = ThisProcessor();
    switch (path) {
    case CrcPath::kZlib:
        return true;
    case CrcPath::kFold128:
        return processor.fold128;
    case CrcPath::kFold256:
        return processor.fold256;
    case CrcPath::kFold512:
        return processor.fold512;
    }
    return false;
}

CrcPath ChosenCrcPath()
{
    static const CrcPath chosen = ChoosePath();
    return chosen;
}

std::uint32_t Crc32With(CrcPath path, std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    switch (path) {
    case CrcPath::kZlib:
        break;
    case CrcPath::kFold128:
        return Fold128(crc, data, length);
    case CrcPath::kFold256:
        return Fold256(crc, data, length);
    case CrcPath::kFold512:
        return Fold512(crc, data, length);
    }
    return Crc32Zlib(crc, data, length);
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return Crc32With(ChosenCrcPath(), crc, data, length);
}

#else

bool CrcPathAvailable(CrcPath path)
{
    return path == CrcPath::kZlib;
}

CrcPath ChosenCrcPath()
{
    return CrcPath::kZlib;
}

std::uint32_t Crc32With(CrcPath, std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return Crc32Zlib(crc, data, length);
}

std::uint32_t Crc32(std::uint32_t crc, const unsigned char* data, std::size_t length)
{
    return Crc32Zlib(crc, data, length);
}

#endif

const char* CrcPathName(CrcPath path)
{
    switch (path) {
    case CrcPath::kZlib:
        return "zlib";
    case CrcPath::kFold128:
        return "PCLMULQDQ 128-bit";
    case CrcPath::kFold256:
        return "VPCLMULQDQ 256-bit";
    case CrcPath::kFold512:
        return "VPCLMULQDQ 512-bit";
    }
    return "unknown";
}

}  // namespace korvex
