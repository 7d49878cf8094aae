#include "image/HexRecordKernel.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define CVL_HEX_KERNEL_AVX2 1
#endif

namespace cvl {

#if CVL_HEX_KERNEL_AVX2

namespace {

// The constants, built once per batch: left to itself the compiler builds
// them again for every record.
struct Constants {
    __m256i digitBase;    // '0'
    __m256i letterBase;   // 'a'
    __m256i lowerCase;    // 0x20
    __m256i nine;         // largest digit offset
    __m256i five;         // largest letter offset
    __m256i ten;          // a letter's value above its offset
    __m256i pairWeights;  // 16, 1: two digits to a byte
    __m256i wordWeights;  // 256, 1: two bytes to a word
    __m128i endMask;      // count, address, type and checksum of the ends vector
};

__attribute__((target("avx2"))) Constants makeConstants() {
    return {_mm256_set1_epi8('0'),     _mm256_set1_epi8('a'),         _mm256_set1_epi8(0x20),
            _mm256_set1_epi8(9),       _mm256_set1_epi8(5),           _mm256_set1_epi8(10),
            _mm256_set1_epi16(0x0110), _mm256_set1_epi32(0x00010100), _mm_set_epi64x(0, 0x00FF0000FFFFFFFF)};
}

// Nibble values of digits; clears bytes of `valid` where a character is not
// a hexadecimal digit. Digits give c - '0' <= 9, letters (c | 0x20) - 'a'
// <= 5; for a valid digit the smaller of c - '0' and that + 10 is its value,
// since the other one wraps far above 15.
__attribute__((target("avx2"))) inline __m256i nibbles(__m256i chars, __m256i& valid, const Constants& k) {
    const __m256i fromDigit = _mm256_sub_epi8(chars, k.digitBase);
    const __m256i fromLetter = _mm256_sub_epi8(_mm256_or_si256(chars, k.lowerCase), k.letterBase);
    const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(fromDigit, k.nine), fromDigit);
    const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(fromLetter, k.five), fromLetter);
    valid = _mm256_and_si256(valid, _mm256_or_si256(isDigit, isLetter));
    return _mm256_min_epu8(fromDigit, _mm256_add_epi8(fromLetter, k.ten));
}

template <typename T>
T load(const char* at) {
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

__attribute__((target("avx2"))) inline bool decodeOne(const char* line, std::uint8_t* out, std::uint16_t& offset,
                                                      std::size_t& span, const Constants& k) {
    // ':' "20" AAAA "00": a full data record; the rest is checked below.
    constexpr std::uint16_t kCount = '2' | '0' << 8;
    constexpr std::uint16_t kType = '0' | '0' << 8;
    if (line[0] != ':' || load<std::uint16_t>(line + 1) != kCount || load<std::uint16_t>(line + 7) != kType) {
        return false;
    }
    if (line[75] == '\n') {
        span = 76;
    } else if (line[75] == '\r' && line[76] == '\n') {
        span = 77;
    } else {
        return false;
    }
    // The header (count, address, type: characters 1-8) and the last eight
    // characters (69-76, the checksum at 73-74) in one vector, of which the
    // header and the checksum must be digits; the 64 data digits (9-72) in two.
    __m256i endsValid = _mm256_set1_epi8(-1);
    const __m256i ends = nibbles(
        _mm256_zextsi128_si256(_mm_set_epi64x(load<long long>(line + 69), load<long long>(line + 1))), endsValid, k);
    __m256i dataValid = _mm256_set1_epi8(-1);
    const __m256i low = nibbles(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(line + 9)), dataValid, k);
    const __m256i high = nibbles(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(line + 41)), dataValid, k);
    if ((_mm256_movemask_epi8(endsValid) & 0x30FF) != 0x30FF || _mm256_movemask_epi8(dataValid) != -1) return false;

    // Digit pairs to bytes (16 * first + second) in 16-bit lanes, then byte
    // pairs to words (256 * first + second: high byte first on the line).
    const __m256i lowWords = _mm256_madd_epi16(_mm256_maddubs_epi16(low, k.pairWeights), k.wordWeights);
    const __m256i highWords = _mm256_madd_epi16(_mm256_maddubs_epi16(high, k.pairWeights), k.wordWeights);
    // packus works per 128-bit lane: put the four quarters back in order.
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(lowWords, highWords), 0xD8);
    // Count, address high and low and type as bytes 0-3, the checksum as byte 6.
    const __m128i endBytes = _mm_and_si128(
        _mm_packus_epi16(_mm256_castsi256_si128(_mm256_maddubs_epi16(ends, k.pairWeights)), _mm_setzero_si128()),
        k.endMask);

    // Every byte of the record, checksum included, sums to 0 modulo 256.
    const __m256i dataSums = _mm256_sad_epu8(words, _mm256_setzero_si256());
    __m128i sum = _mm_add_epi64(_mm256_castsi256_si128(dataSums), _mm256_extracti128_si256(dataSums, 1));
    sum = _mm_add_epi64(sum, _mm_sad_epu8(endBytes, _mm_setzero_si128()));
    sum = _mm_add_epi64(sum, _mm_unpackhi_epi64(sum, sum));
    if ((_mm_cvtsi128_si32(sum) & 0xFF) != 0) return false;

    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), words);
    const auto header = static_cast<std::uint64_t>(_mm_cvtsi128_si64(endBytes));
    offset = static_cast<std::uint16_t>((header & 0xFF00) | ((header >> 16) & 0xFF));
    return true;
}

__attribute__((target("avx2"))) std::size_t decodeWithAvx2(const char* text, std::size_t length, std::uint8_t* out,
                                                           std::size_t room, std::uint16_t* offsets, std::size_t most,
                                                           std::size_t& taken) {
    Constants k = makeConstants();
    // Opaque to the compiler from here, so they stay in registers.
    asm(""
        : "+x"(k.digitBase), "+x"(k.letterBase), "+x"(k.lowerCase), "+x"(k.nine), "+x"(k.five), "+x"(k.ten),
          "+x"(k.pairWeights), "+x"(k.wordWeights), "+x"(k.endMask));
    std::size_t records = 0;
    std::size_t pos = 0;
    std::size_t span = 0;
    const std::size_t fit = std::min(most, room / kFullRecordBytes);
    while (records < fit && length - pos >= kFullRecordWindow &&
           decodeOne(text + pos, out + kFullRecordBytes * records, offsets[records], span, k)) {
        pos += span;
        ++records;
    }
    taken = pos;
    return records;
}

}  // namespace

bool fullRecordKernelAvailable() { return __builtin_cpu_supports("avx2"); }

std::size_t decodeFullRecords(const char* text, std::size_t length, std::uint8_t* out, std::size_t room,
                              std::uint16_t* offsets, std::size_t most, std::size_t& taken) {
    return decodeWithAvx2(text, length, out, room, offsets, most, taken);
}

#else

bool fullRecordKernelAvailable() { return false; }

std::size_t decodeFullRecords(const char*, std::size_t, std::uint8_t*, std::size_t, std::uint16_t*, std::size_t,
                              std::size_t& taken) {
    taken = 0;
    return 0;
}

#endif

}  // namespace cvl
