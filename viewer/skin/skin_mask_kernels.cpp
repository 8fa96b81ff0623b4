#include "skin_mask_kernels.h"

#include <cstring>

#include "analyze_frame.h"

#include <algorithm>
#include <iterator>

#if RAVK_X86
#include <immintrin.h>
#endif

namespace {

bool IsSkinPixel(Pixel24 pixel, const SkinColorRange& range) {
    return IsSkinColor(RgbToHsb(pixel.red, pixel.green, pixel.blue), range);
}

void ClassifyScalar(const Pixel24* pixels, std::uint64_t* words, std::size_t count,
                    const SkinColorRange& range) {
    for (std::size_t first = 0; first < count; first += 64) {
        std::uint64_t word = 0;
        for (std::size_t i = first; i < std::min(count, first + 64); ++i) {
            word |= std::uint64_t{IsSkinPixel(pixels[i], range)} << (i - first);
        }
        words[first / 64] = word;
    }
}

#if RAVK_X86

// The vector kernels test the bands without dividing. With h = offset + floor(60 d / delta) and
// the floor term within -60..60:
//   low <= h <= high  <=>  (low - offset) * delta <= 60 d < (high - offset + 1) * delta,
// and with q = floor(100 delta / max):
//   sMin <= q <= sMax  <=>  sMin * max <= 100 delta < (sMax + 1) * max.
// Clamping the factors to -61..61 (hue) and 0..101 (saturation) keeps every comparison's truth
// value, makes every factor a signed byte and every product fit a signed 16-bit lane.

// Which formula gives a pixel's hue, as an index into the per-sector factor tables.
enum HueSector : std::uint8_t { GREEN_MAX, BLUE_MAX, RED_MAX_RISING, RED_MAX_FALLING, GREY };
constexpr int SECTOR_COUNT = 5;
// A grey has hue 0: it is tested as d = 0 with delta taken as 1 and offset 0.
constexpr int SECTOR_OFFSET[SECTOR_COUNT] = {120, 240, 0, 360, 0};
// The hues each sector's formula can give, inclusive.
constexpr std::uint32_t SECTOR_FIRST_HUE[SECTOR_COUNT] = {60, 180, 0, 300, 0};
constexpr std::uint32_t SECTOR_LAST_HUE[SECTOR_COUNT] = {180, 300, 60, 359, 0};

// Per-range constants of the vector kernels.
struct VectorRange {
    // Per band, the hue factors of each sector, laid out as byte-shuffle lookup tables.
    alignas(16) std::int8_t bandLow[2][16];
    alignas(16) std::int8_t bandEnd[2][16];
    // Per sector, 0xFF when one of its hues lies in a band: a block with no pixel in such a
    // sector and in the brightness band has no skin, and skips the exact tests.
    alignas(16) std::int8_t sectorInBand[16];
    // Brightness max * 100 / 255 grows with max, so its band is a band of max (empty: 255..0).
    std::uint8_t maxLow = 255;
    std::uint8_t maxHigh = 0;
    std::int8_t saturationLow = 0;
    std::int8_t saturationEnd = 0;
    // The rounded-down pairs whose one-less saturation changes the outcome for this range.
    SaturationPair flips[std::size(SATURATION_ROUNDED_DOWN)];
    int flipCount = 0;
};

std::int8_t HueFactor(std::int64_t value) {
    return static_cast<std::int8_t>(std::clamp<std::int64_t>(value, -61, 61));
}

bool InBand(std::uint32_t value, std::uint32_t low, std::uint32_t high) {
    return low <= value && value <= high;
}

VectorRange MakeVectorRange(const SkinColorRange& range) {
    VectorRange constants{};
    const std::uint32_t bandMin[2] = {range.H1_min, range.H2_min};
    const std::uint32_t bandMax[2] = {range.H1_max, range.H2_max};
    for (int band = 0; band < 2; ++band) {
        for (int sector = 0; sector < SECTOR_COUNT; ++sector) {
            const std::int64_t offset = SECTOR_OFFSET[sector];
            constants.bandLow[band][sector] = HueFactor(std::int64_t{bandMin[band]} - offset);
            constants.bandEnd[band][sector] = HueFactor(std::int64_t{bandMax[band]} - offset + 1);
            if (bandMin[band] <= SECTOR_LAST_HUE[sector] &&
                SECTOR_FIRST_HUE[sector] <= bandMax[band]) {
                constants.sectorInBand[sector] = -1;
            }
        }
    }

    for (int max = 0; max <= 255; ++max) {
        if (InBand(static_cast<std::uint32_t>(max * 100 / 255), range.B_min, range.B_max)) {
            constants.maxLow = std::min(constants.maxLow, static_cast<std::uint8_t>(max));
            constants.maxHigh = static_cast<std::uint8_t>(max);
        }
    }

    constants.saturationLow = static_cast<std::int8_t>(std::min<std::uint64_t>(range.S_min, 101));
    constants.saturationEnd =
        static_cast<std::int8_t>(std::min<std::uint64_t>(std::uint64_t{range.S_max} + 1, 101));
    for (const SaturationPair pair : SATURATION_ROUNDED_DOWN) {
        const std::uint32_t quotient = 100u * pair.delta / pair.max;
        if (InBand(quotient, range.S_min, range.S_max) !=
            InBand(quotient - 1, range.S_min, range.S_max)) {
            constants.flips[constants.flipCount++] = pair;
        }
    }
    return constants;
}

// The constants of the range last asked for on this thread: the analysis classifies a frame a
// band of rows at a time, always with the same range.
const VectorRange& CachedVectorRange(const SkinColorRange& range) {
    thread_local SkinColorRange cachedRange;
    thread_local VectorRange cached = MakeVectorRange(cachedRange);
    if (!(range == cachedRange)) {
        cachedRange = range;
        cached = MakeVectorRange(range);
    }
    return cached;
}

// Byte-shuffle controls that gather one channel of 16 packed BGR pixels out of each of the three
// 16-byte loads that hold them: control[channel][load][lane].
struct GatherControls {
    alignas(16) std::int8_t control[3][3][16];
};

constexpr GatherControls MakeGatherControls() {
    GatherControls controls{};
    for (int channel = 0; channel < 3; ++channel) {
        for (int load = 0; load < 3; ++load) {
            for (int lane = 0; lane < 16; ++lane) {
                const int byte = 3 * lane + channel;
                controls.control[channel][load][lane] =
                    static_cast<std::int8_t>(byte / 16 == load ? byte % 16 : -128);
            }
        }
    }
    return controls;
}

constexpr GatherControls GATHER = MakeGatherControls();

// Byte-permute indexes that gather one channel of 64 packed BGR pixels, 192 bytes in three
// registers: into the first two for the pixels whose byte lies there, into the third for the
// others (from THIRD_REGISTER_PIXEL[channel] on).
struct PermuteIndexes {
    alignas(64) std::int8_t firstTwo[3][64];
    alignas(64) std::int8_t third[3][64];
};

constexpr PermuteIndexes MakePermuteIndexes() {
    PermuteIndexes indexes{};
    for (int channel = 0; channel < 3; ++channel) {
        for (int pixel = 0; pixel < 64; ++pixel) {
            const int byte = 3 * pixel + channel;
            indexes.firstTwo[channel][pixel] = static_cast<std::int8_t>(byte < 128 ? byte : 0);
            indexes.third[channel][pixel] = static_cast<std::int8_t>(byte < 128 ? 0 : byte - 128);
        }
    }
    return indexes;
}

constexpr PermuteIndexes PERMUTE = MakePermuteIndexes();
constexpr int THIRD_REGISTER_PIXEL[3] = {43, 43, 42};  // the first pixel with 3 p + c >= 128

// The vector kernel is one source, skin_mask_vector_kernel.inc, compiled once per instruction set:
// each namespace supplies its register type, its pixels per block and the same small set of
// operations, and the target pragma lets the file build without instruction-set flags.

#pragma GCC push_options
#pragma GCC target("sse4.1")
namespace sse41 {

using Vec = __m128i;
constexpr std::size_t BLOCK_PIXELS = 16;

struct Simd {
    static constexpr bool BYTE_PERMUTE = false;
    static constexpr bool MASK_REGISTERS = false;
    // Comparisons give vectors of all-ones lanes.
    using Mask = Vec;
    using Mask16 = Vec;
    // Bytes 16 * part onwards of the block's 48 bytes.
    [[gnu::always_inline]] static Vec Load(const Pixel24* pixels, int part) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels) + part);
    }
    [[gnu::always_inline]] static Vec Table(const std::int8_t* bytes) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
    }
    // The top bit of each byte lane, lane 0 lowest.
    [[gnu::always_inline]] static std::uint64_t Bits(Vec value) {
        return static_cast<std::uint16_t>(_mm_movemask_epi8(value));
    }
    [[gnu::always_inline]] static Vec Zero() { return _mm_setzero_si128(); }
    [[gnu::always_inline]] static Vec Splat8(std::uint8_t value) {
        return _mm_set1_epi8(static_cast<char>(value));
    }
    [[gnu::always_inline]] static Vec Splat16(std::int16_t value) { return _mm_set1_epi16(value); }
    [[gnu::always_inline]] static Vec Or(Vec a, Vec b) { return _mm_or_si128(a, b); }
    [[gnu::always_inline]] static Vec Max8(Vec a, Vec b) { return _mm_max_epu8(a, b); }
    [[gnu::always_inline]] static Vec Min8(Vec a, Vec b) { return _mm_min_epu8(a, b); }
    [[gnu::always_inline]] static Vec Sub8(Vec a, Vec b) { return _mm_sub_epi8(a, b); }
    [[gnu::always_inline]] static Vec Equal8(Vec a, Vec b) { return _mm_cmpeq_epi8(a, b); }
    [[gnu::always_inline]] static Vec Blend(Vec a, Vec b, Vec mask) {
        return _mm_blendv_epi8(a, b, mask);
    }
    [[gnu::always_inline]] static Vec Shuffle(Vec table, Vec index) {
        return _mm_shuffle_epi8(table, index);
    }
    [[gnu::always_inline]] static Vec UnpackLow8(Vec a, Vec b) { return _mm_unpacklo_epi8(a, b); }
    [[gnu::always_inline]] static Vec UnpackHigh8(Vec a, Vec b) { return _mm_unpackhi_epi8(a, b); }
    // Per 16-bit lane: unsigned bytes of a times signed bytes of b, the two products summed.
    [[gnu::always_inline]] static Vec MulAdd(Vec a, Vec b) { return _mm_maddubs_epi16(a, b); }
    [[gnu::always_inline]] static Vec Greater16(Vec a, Vec b) { return _mm_cmpgt_epi16(a, b); }
    [[gnu::always_inline]] static Vec Pack16(Vec a, Vec b) { return _mm_packs_epi16(a, b); }
    [[gnu::always_inline]] static Mask ToMask(Vec value) { return value; }
};

#include "skin_mask_vector_kernel.inc"

}  // namespace sse41
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

// Two blocks of 16 pixels, one per 128-bit half: the byte shuffles and 16-bit widening work
// within each half, so every operation means the same as in the 16-pixel kernel.
using Vec = __m256i;
constexpr std::size_t BLOCK_PIXELS = 32;

struct Simd {
    static constexpr bool BYTE_PERMUTE = false;
    static constexpr bool MASK_REGISTERS = false;
    // Comparisons give vectors of all-ones lanes.
    using Mask = Vec;
    using Mask16 = Vec;
    [[gnu::always_inline]] static Vec Load(const Pixel24* pixels, int part) {
        const auto* bytes = reinterpret_cast<const __m128i*>(pixels) + part;
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(bytes)),
                                       _mm_loadu_si128(bytes + 3), 1);
    }
    [[gnu::always_inline]] static Vec Table(const std::int8_t* bytes) {
        return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    [[gnu::always_inline]] static std::uint64_t Bits(Vec value) {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(value));
    }
    [[gnu::always_inline]] static Vec Zero() { return _mm256_setzero_si256(); }
    [[gnu::always_inline]] static Vec Splat8(std::uint8_t value) {
        return _mm256_set1_epi8(static_cast<char>(value));
    }
    [[gnu::always_inline]] static Vec Splat16(std::int16_t value) {
        return _mm256_set1_epi16(value);
    }
    [[gnu::always_inline]] static Vec Or(Vec a, Vec b) { return _mm256_or_si256(a, b); }
    [[gnu::always_inline]] static Vec Max8(Vec a, Vec b) { return _mm256_max_epu8(a, b); }
    [[gnu::always_inline]] static Vec Min8(Vec a, Vec b) { return _mm256_min_epu8(a, b); }
    [[gnu::always_inline]] static Vec Sub8(Vec a, Vec b) { return _mm256_sub_epi8(a, b); }
    [[gnu::always_inline]] static Vec Equal8(Vec a, Vec b) { return _mm256_cmpeq_epi8(a, b); }
    [[gnu::always_inline]] static Vec Blend(Vec a, Vec b, Vec mask) {
        return _mm256_blendv_epi8(a, b, mask);
    }
    [[gnu::always_inline]] static Vec Shuffle(Vec table, Vec index) {
        return _mm256_shuffle_epi8(table, index);
    }
    [[gnu::always_inline]] static Vec UnpackLow8(Vec a, Vec b) {
        return _mm256_unpacklo_epi8(a, b);
    }
    [[gnu::always_inline]] static Vec UnpackHigh8(Vec a, Vec b) {
        return _mm256_unpackhi_epi8(a, b);
    }
    [[gnu::always_inline]] static Vec MulAdd(Vec a, Vec b) { return _mm256_maddubs_epi16(a, b); }
    [[gnu::always_inline]] static Vec Greater16(Vec a, Vec b) { return _mm256_cmpgt_epi16(a, b); }
    [[gnu::always_inline]] static Vec Pack16(Vec a, Vec b) { return _mm256_packs_epi16(a, b); }
    [[gnu::always_inline]] static Mask ToMask(Vec value) { return value; }
};

#include "skin_mask_vector_kernel.inc"

}  // namespace avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq,avx2,bmi2")
// GCC 12's AVX-512 intrinsics pass an undefined vector where no mask is given, which it then
// reports as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
namespace avx512 {

// Four blocks of 16 pixels, one per 128-bit quarter, as the AVX2 kernel has two. Comparisons give
// mask registers, bit i for lane i.
using Vec = __m512i;
constexpr std::size_t BLOCK_PIXELS = 64;

struct Simd {
    static constexpr bool BYTE_PERMUTE = false;
    static constexpr bool MASK_REGISTERS = true;
    using Mask = __mmask64;
    using Mask16 = __mmask32;
    [[gnu::always_inline]] static Vec Load(const Pixel24* pixels, int part) {
        const auto* bytes = reinterpret_cast<const __m128i*>(pixels) + part;
        const Vec low = _mm512_zextsi128_si512(_mm_loadu_si128(bytes));
        const Vec two = _mm512_inserti32x4(low, _mm_loadu_si128(bytes + 3), 1);
        const Vec three = _mm512_inserti32x4(two, _mm_loadu_si128(bytes + 6), 2);
        return _mm512_inserti32x4(three, _mm_loadu_si128(bytes + 9), 3);
    }
    [[gnu::always_inline]] static Vec Table(const std::int8_t* bytes) {
        return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
    }
    [[gnu::always_inline]] static std::uint64_t Bits(Mask mask) { return mask; }
    [[gnu::always_inline]] static Vec Zero() { return _mm512_setzero_si512(); }
    [[gnu::always_inline]] static Vec Splat8(std::uint8_t value) {
        return _mm512_set1_epi8(static_cast<char>(value));
    }
    [[gnu::always_inline]] static Vec Splat16(std::int16_t value) {
        return _mm512_set1_epi16(value);
    }
    [[gnu::always_inline]] static Vec Or(Vec a, Vec b) { return _mm512_or_si512(a, b); }
    [[gnu::always_inline]] static Vec Max8(Vec a, Vec b) { return _mm512_max_epu8(a, b); }
    [[gnu::always_inline]] static Vec Min8(Vec a, Vec b) { return _mm512_min_epu8(a, b); }
    [[gnu::always_inline]] static Vec Sub8(Vec a, Vec b) { return _mm512_sub_epi8(a, b); }
    [[gnu::always_inline]] static Mask Equal8(Vec a, Vec b) { return _mm512_cmpeq_epi8_mask(a, b); }
    [[gnu::always_inline]] static Vec Blend(Vec a, Vec b, Mask mask) {
        return _mm512_mask_blend_epi8(mask, a, b);
    }
    [[gnu::always_inline]] static Vec Shuffle(Vec table, Vec index) {
        return _mm512_shuffle_epi8(table, index);
    }
    [[gnu::always_inline]] static Vec UnpackLow8(Vec a, Vec b) {
        return _mm512_unpacklo_epi8(a, b);
    }
    [[gnu::always_inline]] static Vec UnpackHigh8(Vec a, Vec b) {
        return _mm512_unpackhi_epi8(a, b);
    }
    [[gnu::always_inline]] static Vec MulAdd(Vec a, Vec b) { return _mm512_maddubs_epi16(a, b); }
    [[gnu::always_inline]] static Mask16 Greater16(Vec a, Vec b) {
        return _mm512_cmpgt_epi16_mask(a, b);
    }
    [[gnu::always_inline]] static Mask ToMask(Vec value) { return _mm512_movepi8_mask(value); }
    // The 16-bit lanes of the low or high 8 pixels of each group of 16 take these bits of a
    // pixel mask, in order. In 32-bit halves, which a 32-bit build has instructions for.
    static constexpr std::uint32_t LOW_HALVES = 0x00FF00FFu;
    template <bool High>
    [[gnu::always_inline]] static Mask16 Half(Mask mask) {
        const std::uint32_t select = High ? ~LOW_HALVES : LOW_HALVES;
        return _pext_u32(static_cast<std::uint32_t>(mask), select) |
               _pext_u32(static_cast<std::uint32_t>(mask >> 32), select) << 16;
    }
    [[gnu::always_inline]] static std::uint64_t Combine(Mask16 low, Mask16 high) {
        const std::uint32_t first = _pdep_u32(low, LOW_HALVES) | _pdep_u32(high, ~LOW_HALVES);
        const std::uint32_t second =
            _pdep_u32(low >> 16, LOW_HALVES) | _pdep_u32(high >> 16, ~LOW_HALVES);
        return std::uint64_t{second} << 32 | first;
    }
};

#include "skin_mask_vector_kernel.inc"

}  // namespace avx512
#pragma GCC diagnostic pop
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512dq,avx512vbmi,avx2,bmi2")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
namespace avx512vbmi {

using Vec = __m512i;
constexpr std::size_t BLOCK_PIXELS = 64;

// The AVX-512 operations, with each channel gathered from three plain loads by two byte permutes
// across the register instead of twelve loads and inserts and nine shuffles.
struct Simd : avx512::Simd {
    static constexpr bool BYTE_PERMUTE = true;

    [[gnu::always_inline]] static Vec Table64(const std::int8_t* bytes) {
        return _mm512_load_si512(bytes);
    }
    template <int Channel>
    [[gnu::always_inline]] static Vec PermuteChannel(Vec first, Vec second, Vec third,
                                                     const Vec (&indexes)[3]) {
        const Vec low = _mm512_permutex2var_epi8(first, indexes[0], second);
        constexpr __mmask64 FROM_THIRD = ~std::uint64_t{0} << THIRD_REGISTER_PIXEL[Channel];
        return _mm512_mask_permutexvar_epi8(low, FROM_THIRD, indexes[1], third);
    }
    [[gnu::always_inline]] static void PermuteChannels(const Pixel24* pixels,
                                                       const Vec (&indexes)[3][3], Vec& blue,
                                                       Vec& green, Vec& red) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(pixels);
        const Vec first = _mm512_loadu_si512(bytes);
        const Vec second = _mm512_loadu_si512(bytes + 64);
        const Vec third = _mm512_loadu_si512(bytes + 128);
        blue = PermuteChannel<0>(first, second, third, indexes[0]);
        green = PermuteChannel<1>(first, second, third, indexes[1]);
        red = PermuteChannel<2>(first, second, third, indexes[2]);
    }
};

#include "skin_mask_vector_kernel.inc"

}  // namespace avx512vbmi
#pragma GCC diagnostic pop
#pragma GCC pop_options

#endif

std::uint32_t SumLumaScalar(const Pixel24* pixels, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += PixelLuma(pixels[i]);
    }
    return sum;
}

#if RAVK_X86
// Luma sums take 16 pixels at a time: each channel gathered into 16 byte lanes with the
// classification's byte shuffles, widened to floats and weighted. The weighted sum is a whole
// number below 2^18, exact in floats whatever the order of the adds, fused or not.
#pragma GCC push_options
#pragma GCC target("sse4.1")
struct LumaBlock {
    __m128i loads[3];

    explicit LumaBlock(const Pixel24* pixels) {
        const auto* bytes = reinterpret_cast<const __m128i*>(pixels);
        for (int load = 0; load < 3; ++load) {
            loads[load] = _mm_loadu_si128(bytes + load);
        }
    }
    [[gnu::always_inline]] __m128i Channel(int channel) const {
        __m128i lanes = _mm_setzero_si128();
#pragma GCC unroll 3
        for (int load = 0; load < 3; ++load) {
            const __m128i control =
                _mm_load_si128(reinterpret_cast<const __m128i*>(GATHER.control[channel][load]));
            lanes = _mm_or_si128(lanes, _mm_shuffle_epi8(loads[load], control));
        }
        return lanes;
    }
};
#pragma GCC pop_options

constexpr float LUMA_WEIGHTS[3] = {114.0f, 586.0f, 298.0f};

[[gnu::target("avx2,fma")]] std::uint32_t SumLumaAvx2(const Pixel24* pixels, std::size_t count) {
    __m256i sums = _mm256_setzero_si256();
    const __m256 half = _mm256_set1_ps(0.5f), thousandth = _mm256_set1_ps(0.001f);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const LumaBlock block(pixels + i);
        __m256 weighted[2] = {_mm256_setzero_ps(), _mm256_setzero_ps()};
#pragma GCC unroll 3
        for (int channel = 0; channel < 3; ++channel) {
            const __m128i lanes = block.Channel(channel);
            const __m256 weight = _mm256_set1_ps(LUMA_WEIGHTS[channel]);
            const __m256 low = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(lanes));
            const __m256 high = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(lanes, 8)));
            weighted[0] = _mm256_fmadd_ps(weight, low, weighted[0]);
            weighted[1] = _mm256_fmadd_ps(weight, high, weighted[1]);
        }
        for (const __m256 w : weighted) {
            const __m256 luma = _mm256_mul_ps(_mm256_add_ps(w, half), thousandth);
            sums = _mm256_add_epi32(sums, _mm256_cvttps_epi32(luma));
        }
    }
    alignas(32) std::int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    std::uint32_t sum = SumLumaScalar(pixels + i, count - i);
    for (const std::int32_t lane : lanes) {
        sum += static_cast<std::uint32_t>(lane);
    }
    return sum;
}

// The same with all 16 lanes in one register. GCC 12's AVX-512 intrinsics pass an undefined
// vector where no mask is given, which it then reports as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
[[gnu::target("avx512f,avx512bw,avx512vl,avx512dq,avx2,fma")]] std::uint32_t SumLumaAvx512(
    const Pixel24* pixels, std::size_t count) {
    __m512i sums = _mm512_setzero_si512();
    const __m512 half = _mm512_set1_ps(0.5f), thousandth = _mm512_set1_ps(0.001f);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const LumaBlock block(pixels + i);
        __m512 weighted = _mm512_setzero_ps();
#pragma GCC unroll 3
        for (int channel = 0; channel < 3; ++channel) {
            const __m512 values = _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(block.Channel(channel)));
            weighted = _mm512_fmadd_ps(_mm512_set1_ps(LUMA_WEIGHTS[channel]), values, weighted);
        }
        const __m512 luma = _mm512_mul_ps(_mm512_add_ps(weighted, half), thousandth);
        sums = _mm512_add_epi32(sums, _mm512_cvttps_epi32(luma));
    }
    return SumLumaScalar(pixels + i, count - i) +
           static_cast<std::uint32_t>(_mm512_reduce_add_epi32(sums));
}
#pragma GCC diagnostic pop
#endif

}  // namespace

std::uint32_t SumPixelLuma(const Pixel24* pixels, std::size_t count, SimdLevel level) {
    if (!SimdLevelSupported(level)) {
        level = SimdLevel::Scalar;
    }
    switch (level) {
#if RAVK_X86
        case SimdLevel::Avx512:
        case SimdLevel::Avx512Vbmi:
            return SumLumaAvx512(pixels, count);
        case SimdLevel::Avx2:
            return SumLumaAvx2(pixels, count);
#endif
        default:  // no kernel of its own: the scalar one
            return SumLumaScalar(pixels, count);
    }
}

void ClassifySkinBits(const Pixel24* pixels, std::uint64_t* words, std::size_t count,
                      const SkinColorRange& range, SimdLevel level) {
    if (!SimdLevelSupported(level)) {
        level = SimdLevel::Scalar;
    }
    switch (level) {
#if RAVK_X86
        case SimdLevel::Avx512Vbmi:
            avx512vbmi::Classify(pixels, words, count, range);
            return;
        case SimdLevel::Avx512:
            avx512::Classify(pixels, words, count, range);
            return;
        case SimdLevel::Avx2:
            avx2::Classify(pixels, words, count, range);
            return;
        case SimdLevel::Sse41:
            sse41::Classify(pixels, words, count, range);
            return;
#endif
        default:
            ClassifyScalar(pixels, words, count, range);
            return;
    }
}
