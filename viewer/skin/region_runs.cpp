#include "region_runs.h"

#include "skin_mask_kernels.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Pass 1 of the classic labeller hands out at most 65535 provisional labels (16-bit labels).
constexpr std::int32_t PROVISIONAL_LABEL_LIMIT = 65536;

// One bit per cell of 64 consecutive mask cells (first cell = lowest bit): set where the cell is
// exactly 255. Branch-free, so random masks cost no mispredictions.
std::uint64_t SkinBitsOf64(const std::uint8_t* cells) {
#if defined(__SSE2__)
    const __m128i skin = _mm_set1_epi8(static_cast<char>(0xFF));
    std::uint64_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + 16 * i));
        const auto lanes = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, skin)));
        bits |= std::uint64_t{lanes} << (16 * i);
    }
    return bits;
#else
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        std::uint64_t word;
        std::memcpy(&word, cells + 8 * i, sizeof word);
        const std::uint64_t t = ~word;  // 0x00 exactly where the cell is 255
        const std::uint64_t zeroHigh = ~(((t & low7) + low7) | t) & ~low7;
        bits |= (((zeroHigh >> 7) * 0x0102040810204080ull) >> 56) << (8 * i);
    }
    return bits;
#endif
}

// One mask row as a bit row, 64 cells a word (bit i of word w is cell 64 w + i).
void MaskRowBits(const std::uint8_t* row, std::int32_t width, std::vector<std::uint64_t>& bits) {
    std::int32_t x = 0;
    for (; x + 64 <= width; x += 64) {
        bits[x / 64] = SkinBitsOf64(row + x);
    }
    if (x < width) {
        std::uint64_t tail = 0;
        for (std::int32_t i = x; i < width; ++i) {
            tail |= std::uint64_t{row[i] == 255} << (i - x);
        }
        bits[x / 64] = tail;
    }
}

// Bits first .. first + width - 1 of a classified band as a bit row. The band has a word past
// the last one it classified, so a row's last word can always take its neighbour's bits.
void BandRowBits(const std::vector<std::uint64_t>& band, std::size_t first, std::int32_t width,
                 std::vector<std::uint64_t>& bits) {
    const std::size_t word = first / 64;
    const auto shift = static_cast<unsigned>(first % 64);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        bits[i] = shift == 0 ? band[word + i]
                             : band[word + i] >> shift | band[word + i + 1] << (64 - shift);
    }
    if (width % 64 != 0) {
        bits.back() &= (std::uint64_t{1} << (width % 64)) - 1;
    }
}

// Calls emit(x0, x1) for every run of set bits, left to right, a word at a time.
template <typename Emit>
void ForEachRun(const std::vector<std::uint64_t>& bits, Emit&& emit) {
    std::int32_t openStart = 0;  // start of a run that continues from an earlier word
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const std::uint64_t word = bits[i];
        const std::uint64_t carryIn = i > 0 ? bits[i - 1] >> 63 : 0;
        const std::uint64_t carryOut = i + 1 < bits.size() ? bits[i + 1] & 1 : 0;
        std::uint64_t starts = word & ~((word << 1) | carryIn);
        std::uint64_t ends = word & ~((word >> 1) | (carryOut << 63));
        const auto base = static_cast<std::int32_t>(64 * i);
        while (ends != 0) {
            const int end = std::countr_zero(ends);
            if (starts != 0 && std::countr_zero(starts) <= end) {
                openStart = base + std::countr_zero(starts);
                starts &= starts - 1;
            }
            if (!emit(openStart, base + end)) {
                return;
            }
            ends &= ends - 1;
        }
        if (starts != 0) {
            openStart = base + std::countr_zero(starts);
        }
    }
}

// The first cell of every run: set bits whose left neighbour is clear.
void MarkRunStarts(const std::vector<std::uint64_t>& bits, std::vector<std::uint64_t>& starts) {
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const std::uint64_t carryIn = i > 0 ? bits[i - 1] >> 63 : 0;
        starts[i] = bits[i] & ~((bits[i] << 1) | carryIn);
    }
}

// The highest set bit at or below x, of which there must be one.
std::int32_t LastBitAtOrBefore(const std::vector<std::uint64_t>& bits, std::int32_t x) {
    auto word = static_cast<std::size_t>(x) / 64;
    std::uint64_t below = bits[word] & (~std::uint64_t{0} >> (63 - x % 64));
    while (below == 0) {
        below = bits[--word];
    }
    return static_cast<std::int32_t>(64 * word) + 63 - std::countl_zero(below);
}

bool BitAt(const std::vector<std::uint64_t>& bits, std::int32_t x) {
    return (bits[static_cast<std::size_t>(x) / 64] >> (x % 64)) & 1;
}

// Calls f(x) for every set bit x in [first, last], none when the range is empty.
template <typename F>
void ForEachBitIn(const std::vector<std::uint64_t>& bits, std::int32_t first, std::int32_t last,
                  F&& f) {
    if (first > last) {
        return;
    }
    const auto firstWord = static_cast<std::size_t>(first) / 64;
    const auto lastWord = static_cast<std::size_t>(last) / 64;
    for (std::size_t w = firstWord; w <= lastWord; ++w) {
        std::uint64_t word = bits[w];
        if (w == firstWord) {
            word &= ~std::uint64_t{0} << (first % 64);
        }
        if (w == lastWord) {
            word &= ~std::uint64_t{0} >> (63 - last % 64);
        }
        for (; word != 0; word &= word - 1) {
            f(static_cast<std::int32_t>(64 * w) + std::countr_zero(word));
        }
    }
}

// While the scan runs, a run's region field holds its parent run: itself for a root, else an
// earlier run of the same region.
std::int32_t FindRoot(std::vector<RegionRun>& runs, std::int32_t node) {
    while (runs[node].region != node) {
        runs[node].region = runs[runs[node].region].region;  // path halving keeps the trees flat
        node = runs[node].region;
    }
    return node;
}

void Join(std::vector<RegionRun>& runs, std::int32_t a, std::int32_t b) {
    a = FindRoot(runs, a);
    b = FindRoot(runs, b);
    if (a != b) {
        runs[std::max(a, b)].region = std::min(a, b);
    }
}

}  // namespace

namespace {

// The labelling over rows 1 .. height - 2, rowBits(y, bits) giving each row's cells as a bit row
// when the scan reaches it.
template <typename RowBits>
std::int32_t FindRuns(std::int32_t width, std::int32_t height, RowBits&& rowBits,
                      std::vector<RegionRun>& runs, std::vector<RegionExtent>* extents) {
    // This row and the previous one as bit rows, the first cells of their runs, and at each
    // first cell its run (node); a cell of a run finds the run's first cell among the starts.
    // Kept per thread, so a frame of a width seen before allocates nothing.
    const std::size_t words = (static_cast<std::size_t>(width) + 63) / 64;
    thread_local std::vector<std::uint64_t> bits, starts, previousBits, previousStarts;
    thread_local std::vector<std::int32_t> runAt, previousRunAt;
    for (std::vector<std::uint64_t>* row : {&bits, &starts, &previousBits, &previousStarts}) {
        row->assign(words, 0);
    }
    runAt.resize(static_cast<std::size_t>(width));
    previousRunAt.resize(static_cast<std::size_t>(width));
    std::int32_t provisionalLabels = 0;
    bool cutOff = false;
    bool previousEmpty = true;

    for (std::int32_t y = 1; y < height - 1 && !cutOff; ++y) {
        rowBits(y, bits);
        // The first and last cell of a row are never labelled.
        bits[0] &= ~std::uint64_t{1};
        bits[(width - 1) / 64] &= ~(std::uint64_t{1} << ((width - 1) % 64));
        // An empty row under an empty row has nothing to label and leaves the next row the same
        // empty row above.
        const bool empty =
            std::all_of(bits.begin(), bits.end(), [](std::uint64_t word) { return word == 0; });
        if (empty && previousEmpty) {
            continue;
        }
        previousEmpty = empty;
        MarkRunStarts(bits, starts);
        ForEachRun(bits, [&](std::int32_t x0, std::int32_t x1) {
            // The first cell starts a provisional area when the cell above it is unlabelled.
            const bool coveredAbove = BitAt(previousBits, x0);
            if (!coveredAbove && ++provisionalLabels == PROVISIONAL_LABEL_LIMIT) {
                cutOff = true;
                return false;
            }
            const auto node = static_cast<std::int32_t>(runs.size());
            const std::int32_t parent =
                coveredAbove ? FindRoot(runs, previousRunAt[LastBitAtOrBefore(previousStarts, x0)])
                             : node;
            runs.push_back({y, x0, x1, parent});
            // Every other run above that touches this one starts inside it.
            ForEachBitIn(previousStarts, x0 + 1, x1,
                         [&](std::int32_t x) { Join(runs, node, previousRunAt[x]); });
            runAt[x0] = node;
            return true;
        });
        bits.swap(previousBits);
        starts.swap(previousStarts);
        runAt.swap(previousRunAt);
    }

    // Number the regions in the order the scan first meets them. Parents are earlier runs and a
    // join keeps the smaller root, so a region's root is its first run: numbered before any other
    // run of it, whose parent already holds the region's number by then.
    std::int32_t regionCount = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        RegionRun& run = runs[i];
        const auto parent = static_cast<std::size_t>(run.region);
        const bool root = parent == i;
        run.region = root ? ++regionCount : runs[parent].region;
        if (extents == nullptr) {
            continue;
        }
        // Runs come row by row, so the first run of a region is in its top row and the latest in
        // its bottom one: two comparisons fewer than a general extent's.
        const std::int32_t length = run.x1 - run.x0 + 1;
        if (root) {
            extents->push_back({length, run.x0, run.x1, run.y, run.y});
        } else {
            RegionExtent& extent = (*extents)[static_cast<std::size_t>(run.region) - 1];
            extent.area += length;
            extent.minX = std::min(extent.minX, run.x0);
            extent.maxX = std::max(extent.maxX, run.x1);
            extent.maxY = run.y;
        }
    }
    return regionCount;
}

}  // namespace

std::int32_t FindRegionRuns(const SkinMask& mask, std::vector<RegionRun>& runs) {
    runs.clear();
    const std::int32_t width = mask.width;
    const std::int32_t height = mask.height;
    if (width <= 2 || height <= 2 ||
        mask.cells.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return 0;
    }
    return FindRuns(
        width, height,
        [&](std::int32_t y, std::vector<std::uint64_t>& bits) {
            MaskRowBits(mask.cells.data() + static_cast<std::size_t>(y) * width, width, bits);
        },
        runs, nullptr);
}

std::int32_t FindRegionRuns(const FrameImage& frame, const SkinColorRange& range, SimdLevel level,
                            std::vector<RegionRun>& runs, std::vector<RegionExtent>& extents) {
    runs.clear();
    extents.clear();
    const std::int32_t width = frame.width;
    const std::int32_t height = frame.height;
    if (width <= 2 || height <= 2 ||
        frame.pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return 0;
    }
    // Rows are classified a band at a time: one call prepares the kernel's constants once for
    // the band, whose bits stay in the first-level cache until the scan has read them.
    constexpr std::int32_t BAND_ROWS = 16;
    const auto rowCells = static_cast<std::size_t>(width);
    thread_local std::vector<std::uint64_t> band;
    band.resize((BAND_ROWS * rowCells + 63) / 64 + 1);
    std::int32_t bandTop = 0, bandEnd = 0;
    return FindRuns(
        width, height,
        [&](std::int32_t y, std::vector<std::uint64_t>& bits) {
            if (y >= bandEnd) {
                bandTop = y;
                bandEnd = std::min(y + BAND_ROWS, height - 1);
                ClassifySkinBits(frame.pixels.data() + static_cast<std::size_t>(y) * rowCells,
                                 band.data(), static_cast<std::size_t>(bandEnd - y) * rowCells,
                                 range, level);
            }
            BandRowBits(band, static_cast<std::size_t>(y - bandTop) * rowCells, width, bits);
        },
        runs, &extents);
}

RegionStats StatsOfExtent(const RegionExtent& extent) {
    RegionStats r;
    r.area = extent.area;
    r.minX = extent.minX;
    r.maxX = extent.maxX;
    r.minY = extent.minY;
    r.maxY = extent.maxY;
    r.width = r.maxX - r.minX;
    r.height = r.maxY - r.minY;
    r.centerX = (r.minX + r.maxX) / 2;
    r.centerY = (r.minY + r.maxY) / 2;
    return r;
}

void AddRunToMeans(RegionStats& record, const RegionRun& run) {
    // The sums are whole numbers far below 2^53, so adding a run at a time gives the same doubles
    // as adding pixel by pixel.
    const std::int64_t length = run.x1 - run.x0 + 1;
    record.meanX += static_cast<double>((std::int64_t{run.x0} + run.x1) * length / 2);
    record.meanY += static_cast<double>(std::int64_t{run.y} * length);
}

void FinishMeans(RegionStats& record) {
    if (record.area > 0) {
        record.meanX /= record.area;
        record.meanY /= record.area;
    }
}

void AccumulateRegionStats(std::vector<RegionStats>& records, const std::vector<RegionRun>& runs,
                           std::int32_t regionCount) {
    const auto count = static_cast<std::size_t>(std::max(regionCount, 0));
    std::vector<RegionExtent> extents(count);
    records.assign(count, RegionStats{});
    for (const RegionRun& run : runs) {
        if (run.region < 1 || run.region > regionCount) {
            continue;
        }
        const auto k = static_cast<std::size_t>(run.region) - 1;
        RegionExtent& e = extents[k];
        e.area += run.x1 - run.x0 + 1;
        e.minX = std::min(e.minX, run.x0);
        e.maxX = std::max(e.maxX, run.x1);
        e.minY = std::min(e.minY, run.y);
        e.maxY = std::max(e.maxY, run.y);
        AddRunToMeans(records[k], run);
    }
    for (std::size_t k = 0; k < count; ++k) {
        const double sumX = records[k].meanX;
        const double sumY = records[k].meanY;
        records[k] = StatsOfExtent(extents[k]);
        records[k].meanX = sumX;
        records[k].meanY = sumY;
        FinishMeans(records[k]);
    }
}
