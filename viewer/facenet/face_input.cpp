#include "face_input.h"

#include <algorithm>
#include <cmath>

PixelRect FitLetterbox(std::int32_t frameWidth, std::int32_t frameHeight, std::int32_t side) {
    const std::int64_t longer = std::max(frameWidth, frameHeight);
    const auto scaled = [&](std::int64_t length) {
        return static_cast<std::int32_t>(
            std::max<std::int64_t>(1, (2 * length * side + longer) / (2 * longer)));
    };
    const std::int32_t width = scaled(frameWidth);
    const std::int32_t height = scaled(frameHeight);
    PixelRect box;
    box.left = (side - width) / 2;
    box.top = (side - height) / 2;
    box.right = box.left + width;
    box.bottom = box.top + height;
    return box;
}

void MakeAreaTaps(std::int32_t sources, std::int32_t outputs, AreaTaps& taps) {
    taps.taps.clear();
    taps.starts.clear();
    const double scale = static_cast<double>(sources) / outputs;
    for (std::int32_t i = 0; i < outputs; ++i) {
        taps.starts.push_back(static_cast<std::int32_t>(taps.taps.size()));
        const double begin = i * scale;
        const double end = std::min<double>(sources, (i + 1) * scale);
        for (auto source = static_cast<std::int32_t>(std::floor(begin)); source < end; ++source) {
            const double overlap =
                std::min<double>(end, source + 1) - std::max<double>(begin, source);
            if (overlap > 0) {
                taps.taps.push_back({source, static_cast<float>(overlap / scale)});
            }
        }
    }
    taps.starts.push_back(static_cast<std::int32_t>(taps.taps.size()));
}

namespace {

constexpr std::int32_t ROWS_A_PASS = 16;

// The columns' taps of state.box laid out for the resample kernel.
void MakeColumnTable(FaceInputState& state) {
    AreaTaps columns;
    MakeAreaTaps(state.frameWidth, Width(state.box), columns);
    state.taps = 0;
    for (std::size_t x = 0; x + 1 < columns.starts.size(); ++x) {
        state.taps = std::max(state.taps, columns.starts[x + 1] - columns.starts[x]);
    }
    const std::int32_t half = state.side / 2;
    const auto size = static_cast<std::size_t>(2 * state.taps * half);
    state.indices.assign(size, 0);
    state.weights.assign(size, 0.0f);
    for (std::int32_t at = state.box.left; at < state.box.right; ++at) {
        const auto x = static_cast<std::size_t>(at - state.box.left);
        // Column at is entry at / 2 of its parity's table, whose taps are half entries apart.
        const std::size_t entry = static_cast<std::size_t>((at % 2) * state.taps * half + at / 2);
        for (std::int32_t t = columns.starts[x]; t < columns.starts[x + 1]; ++t) {
            const AreaTap tap = columns.taps[static_cast<std::size_t>(t)];
            const std::size_t slot =
                entry + static_cast<std::size_t>((t - columns.starts[x]) * half);
            state.indices[slot] = 3 * tap.source;
            state.weights[slot] = tap.weight;
        }
    }
}

// Starts fetching the frame rows that input row y reads into the cache. The stem asks for input
// rows two at a time with the network's work in between, which hides the wait; fetched only when
// needed, the rows would each be waited for.
void PrefetchSourceRows(const FrameImage& frame, const FaceInputState& state, std::int32_t y) {
    const std::int32_t at = y - state.box.top;
    if (at < 0 || at >= Height(state.box)) {
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 3;
    const std::int32_t end = state.rows.starts[static_cast<std::size_t>(at) + 1];
    for (std::int32_t t = state.rows.starts[static_cast<std::size_t>(at)]; t < end; ++t) {
        const std::size_t frameRow = static_cast<std::size_t>(
            frame.height - 1 - state.rows.taps[static_cast<std::size_t>(t)].source);
        const std::uint8_t* row = FrameBytes(frame) + frameRow * rowBytes;
        for (std::size_t i = 0; i < rowBytes; i += 64) {
            __builtin_prefetch(row + i, 0, 2);
        }
    }
}

}  // namespace

PixelRect PrepareFaceInput(const FrameImage& frame, const FaceModel& model, FaceInputState& state) {
    const std::int32_t side = model.inputSide;
    if (state.frameWidth != frame.width || state.frameHeight != frame.height ||
        state.side != side) {
        state.frameWidth = frame.width;
        state.frameHeight = frame.height;
        state.side = side;
        state.box = FitLetterbox(frame.width, frame.height, side);
        MakeAreaTaps(frame.height, Height(state.box), state.rows);
        MakeColumnTable(state);
        state.sums.assign(static_cast<std::size_t>(frame.width) * 3, 0.0f);
    }
    return state.box;
}

void FillFaceInputRow(const FrameImage& frame, const FaceModel& model, FaceNetState& net,
                      FaceInputState& state, const FaceKernels& kernels, std::int32_t y) {
    // Row y + 1 follows at once; row y + 2 after the network's next stem row.
    PrefetchSourceRows(frame, state, y + 2);
    const PixelRect& box = state.box;
    const std::int32_t half = model.inputSide / 2;
    if (y < box.top || y >= box.bottom) {
        // A black bar (-1) above or below the picture; those beside it the resample writes.
        for (std::int32_t plane = 0; plane < 6; ++plane) {
            float* row = FaceInputRow(model, net, y, plane / 2, plane % 2);
            std::fill(row, row + half, -1.0f);
        }
        return;
    }
    // Input rows run top-down; the frame's rows bottom-up.
    // Source rows of one weight (all but the first and the last) are summed in one pass; the first
    // pass writes the sums, the others add to them.
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 3;
    const auto at = static_cast<std::size_t>(y - box.top);
    const std::uint8_t* rows[ROWS_A_PASS];
    std::int32_t count = 0;
    bool add = false;
    const std::int32_t end = state.rows.starts[at + 1];
    for (std::int32_t t = state.rows.starts[at]; t < end; ++t) {
        const AreaTap tap = state.rows.taps[static_cast<std::size_t>(t)];
        const std::size_t frameRow = static_cast<std::size_t>(frame.height - 1 - tap.source);
        rows[count++] = FrameBytes(frame) + frameRow * rowBytes;
        if (count == ROWS_A_PASS || t + 1 == end ||
            state.rows.taps[static_cast<std::size_t>(t) + 1].weight != tap.weight) {
            kernels.accumulate(rows, count, tap.weight, rowBytes, add, state.sums.data());
            count = 0;
            add = true;
        }
    }
    for (std::int32_t parity = 0; parity < 2; ++parity) {
        // The sums are blue, green, red; the input red, green, blue.
        float* const out[3] = {FaceInputRow(model, net, y, 2, parity),
                               FaceInputRow(model, net, y, 1, parity),
                               FaceInputRow(model, net, y, 0, parity)};
        const std::size_t table = static_cast<std::size_t>(parity * state.taps * half);
        kernels.resample(state.sums.data(), state.indices.data() + table,
                         state.weights.data() + table, state.taps, half, out);
    }
}
