#include "face_finder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "support/face_photos.h"

// Every allocation of this test program is counted, to show that a repeated frame allocates
// nothing.
namespace {
std::atomic<std::size_t> allocationCount{0};
}  // namespace

// GCC takes the free of the replaced delete for a mismatch with the replaced new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

// Avx512 runs the AVX2 kernels: the level DetectSimdLevel gives on such a processor.
constexpr SimdLevel LEVELS[] = {SimdLevel::Scalar, SimdLevel::Avx2, SimdLevel::Avx512};

TEST(FaceInputTest, LetterboxKeepsTheAspectAndCentresTheFrame) {
    struct Case {
        std::int32_t width, height, side;
        PixelRect expected;
    };
    for (const Case& c :
         {Case{640, 480, 256, {0, 32, 256, 224}}, Case{480, 640, 128, {16, 0, 112, 128}},
          Case{720, 576, 128, {0, 13, 128, 115}}, Case{100, 100, 128, {0, 0, 128, 128}},
          Case{1000, 1, 128, {0, 63, 128, 64}}}) {
        EXPECT_EQ(FitLetterbox(c.width, c.height, c.side), c.expected)
            << c.width << " x " << c.height << " into " << c.side;
    }
}

TEST(FaceInputTest, AreaTapsShareEverySourcePixelOutEvenly) {
    for (const auto& [sources, outputs] :
         {std::pair{640, 256}, {480, 96}, {7, 3}, {3, 7}, {5, 5}}) {
        AreaTaps taps;
        MakeAreaTaps(sources, outputs, taps);
        ASSERT_EQ(taps.starts.size(), static_cast<std::size_t>(outputs) + 1);
        std::vector<double> share(static_cast<std::size_t>(sources), 0.0);
        for (std::int32_t i = 0; i < outputs; ++i) {
            double sum = 0;
            for (std::int32_t t = taps.starts[i]; t < taps.starts[i + 1]; ++t) {
                sum += taps.taps[t].weight;
                share[taps.taps[t].source] += taps.taps[t].weight;
            }
            EXPECT_NEAR(sum, 1.0, 1e-6) << sources << " -> " << outputs << ", output " << i;
        }
        for (std::int32_t s = 0; s < sources; ++s) {
            EXPECT_NEAR(share[s], static_cast<double>(outputs) / sources, 1e-6)
                << sources << " -> " << outputs << ", source " << s;
        }
    }
}

// Every input pixel of frame, [y][x] as red, green, blue, each row read as soon as it is written,
// as the network does; the zero column either side of each plane must stay zero.
using InputPixels = std::vector<std::vector<std::vector<float>>>;
InputPixels FillInput(const FrameImage& frame, const FaceModel& model, FaceNetState& net,
                      FaceInputState& state, SimdLevel level) {
    const std::int32_t side = model.inputSide;
    InputPixels pixels(static_cast<std::size_t>(side));
    for (std::int32_t y = 0; y < side; ++y) {
        FillFaceInputRow(frame, model, net, state, SelectFaceKernels(level), y);
        for (std::int32_t x = 0; x < side; ++x) {
            std::vector<float> pixel;
            for (std::int32_t channel = 0; channel < 3; ++channel) {
                pixel.push_back(FaceInputRow(model, net, y, channel, x % 2)[x / 2]);
            }
            pixels[static_cast<std::size_t>(y)].push_back(pixel);
        }
        for (std::int32_t plane = 0; plane < 6; ++plane) {
            const float* row = FaceInputRow(model, net, y, plane / 2, plane % 2);
            EXPECT_EQ(row[-1], 0.0f) << "row " << y << ", plane " << plane;
            EXPECT_EQ(row[side / 2], 0.0f) << "row " << y << ", plane " << plane;
        }
    }
    return pixels;
}

TEST(FaceInputTest, InputIsTheUprightFrameInRgbBetweenBlackBars) {
    FaceModel model;
    model.inputSide = 8;
    for (const SimdLevel level : LEVELS) {
        FaceNetState net;
        PrepareFaceNet(model, net);
        FaceInputState state;
        // 16 x 8, stored bottom-up: the top half red, the bottom half blue.
        FrameImage wide = MakeFrameImage(16, 8);
        for (std::int32_t y = 0; y < 8; ++y) {
            for (std::int32_t x = 0; x < 16; ++x) {
                wide.pixels[static_cast<std::size_t>(y * 16 + x)] =
                    y >= 4 ? Pixel24{0, 0, 255} : Pixel24{255, 0, 0};
            }
        }
        EXPECT_EQ(PrepareFaceInput(wide, model, state), (PixelRect{0, 2, 8, 6}));
        const InputPixels input = FillInput(wide, model, net, state, level);
        const std::vector<float> bar{-1, -1, -1}, red{1, -1, -1}, blue{-1, -1, 1};
        for (int x = 0; x < 8; ++x) {
            for (int y = 0; y < 8; ++y) {
                const std::vector<float>& expected = y < 2 || y >= 6 ? bar : y < 4 ? red : blue;
                EXPECT_EQ(input[y][x], expected) << x << ", " << y;
            }
        }
        // A tall grey frame next: bars move to the sides, nothing of the last frame stays.
        FrameImage tall = MakeFrameImage(4, 8);
        for (Pixel24& pixel : tall.pixels) {
            pixel = {51, 102, 204};
        }
        EXPECT_EQ(PrepareFaceInput(tall, model, state), (PixelRect{2, 0, 6, 8}));
        const InputPixels tallInput = FillInput(tall, model, net, state, level);
        for (int y = 0; y < 8; ++y) {
            EXPECT_EQ(tallInput[y][1], bar);
            EXPECT_EQ(tallInput[y][6], bar);
            const std::vector<float>& grey = tallInput[y][3];
            EXPECT_NEAR(grey[0], 204 / 127.5 - 1, 1e-6);
            EXPECT_NEAR(grey[2], 51 / 127.5 - 1, 1e-6);
        }
    }
}

// Every input pixel against the area average worked out here in doubles, for frames whose
// pictures start on even and odd columns and rows and reach the square's edges or not.
TEST(FaceInputTest, EveryInputPixelIsTheAreaAverageOfTheFrame) {
    FaceModel model;
    model.inputSide = 8;
    std::mt19937 random(3);
    for (const auto& [width, height] : {std::pair{7, 5}, {5, 8}, {13, 3}, {3, 13}, {16, 9}}) {
        FrameImage frame = MakeFrameImage(width, height);
        for (Pixel24& pixel : frame.pixels) {
            pixel = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                     static_cast<std::uint8_t>(random())};
        }
        const PixelRect box = FitLetterbox(width, height, 8);
        AreaTaps columns, rows;
        MakeAreaTaps(width, Width(box), columns);
        MakeAreaTaps(height, Height(box), rows);
        for (const SimdLevel level : LEVELS) {
            FaceNetState net;
            PrepareFaceNet(model, net);
            FaceInputState state;
            ASSERT_EQ(PrepareFaceInput(frame, model, state), box);
            const InputPixels input = FillInput(frame, model, net, state, level);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    double rgb[3] = {0, 0, 0};  // bars stay 0 here, -1 below
                    const bool picture =
                        x >= box.left && x < box.right && y >= box.top && y < box.bottom;
                    for (int r = picture ? rows.starts[y - box.top] : 0;
                         picture && r < rows.starts[y - box.top + 1]; ++r) {
                        for (int c = columns.starts[x - box.left];
                             c < columns.starts[x - box.left + 1]; ++c) {
                            const double weight =
                                double{rows.taps[r].weight} * columns.taps[c].weight;
                            const Pixel24& pixel = frame.pixels[static_cast<std::size_t>(
                                (height - 1 - rows.taps[r].source) * width +
                                columns.taps[c].source)];
                            rgb[0] += weight * pixel.red;
                            rgb[1] += weight * pixel.green;
                            rgb[2] += weight * pixel.blue;
                        }
                    }
                    const std::vector<float>& actual = input[y][x];
                    for (int c = 0; c < 3; ++c) {
                        EXPECT_NEAR(actual[c], rgb[c] / 127.5 - 1, 1e-5)
                            << width << " x " << height << " at " << x << ", " << y;
                    }
                }
            }
        }
    }
}

std::vector<float> RandomValues(std::size_t count, std::mt19937& random) {
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> values(count);
    for (float& v : values) {
        v = value(random);
    }
    return values;
}

void ExpectClose(const std::vector<float>& actual, const std::vector<float>& expected,
                 const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        ASSERT_NEAR(actual[i], expected[i], 1e-4f) << what << ", value " << i;
    }
}

void ExpectKernelsAgreeWithScalar(SimdLevel level);
void ExpectInterleavedKernelsAgreeWithScalar(SimdLevel level);

// AVX2 vectors hold 8 pixels and 1x1 tiles are 4 channels by 8, 16 or 24 pixels; AVX-512 vectors
// hold 16 and its tiles are 12 channels by 32 pixels, 8 by 16 to 48, or 16 or 24 channels by one
// vector; the last vector of a row is masked. Both levels run here, on a processor that has them.
TEST(FaceKernelsTest, VectorKernelsAgreeWithTheScalarOnesAtEveryTileEdge) {
    if (!SimdLevelSupported(SimdLevel::Avx2)) {
        GTEST_SKIP() << "no AVX2 here";
    }
    for (const SimdLevel level : {SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (SimdLevelSupported(level)) {
            ExpectKernelsAgreeWithScalar(level);
            ExpectInterleavedKernelsAgreeWithScalar(level);
        }
    }
}

void ExpectKernelsAgreeWithScalar(SimdLevel level) {
    SCOPED_TRACE(level == SimdLevel::Avx2 ? "AVX2" : "AVX-512");
    const FaceKernels scalar = SelectFaceKernels(SimdLevel::Scalar);
    const FaceKernels vector = SelectFaceKernels(level);
    std::mt19937 random(7);
    for (const std::int32_t channels : {1, 8, 24}) {
        for (const std::int32_t width : {1, 5, 8, 13, 16, 17, 32, 33, 47, 48}) {
            for (const std::int32_t stride : {1, 2}) {
                // Each plane exactly as long as the kernel may read, so a read past the last
                // one shows under the sanitizers.
                const std::int32_t inStride = stride == 1 ? width + 2 : 2 * width + 1;
                const auto size = static_cast<std::size_t>(channels * inStride);
                std::vector<float> rows[3] = {RandomValues(size, random),
                                              RandomValues(size, random),
                                              RandomValues(size, random)};
                // The border columns are the padding's zeros.
                for (std::vector<float>& values : rows) {
                    for (std::int32_t c = 0; c < channels; ++c) {
                        values[static_cast<std::size_t>(c * inStride + inStride - 1)] = 0.0f;
                        if (stride == 1) {
                            values[static_cast<std::size_t>(c * inStride)] = 0.0f;
                        }
                    }
                }
                const std::vector<float> weights =
                    RandomValues(9 * static_cast<std::size_t>(channels), random);
                DepthwiseRow row;
                for (int ky = 0; ky < 3; ++ky) {
                    row.rows[ky] = rows[ky].data();
                }
                row.inStride = inStride;
                row.stride = stride;
                row.width = width;
                row.channels = channels;
                row.weights = weights.data();
                const auto outSize = static_cast<std::size_t>(width * channels);
                std::vector<float> expected(outSize), actual(outSize);
                std::vector<float> expectedPool(outSize), actualPool(outSize);
                row.out = expected.data();
                row.pooled = stride == 2 ? expectedPool.data() : nullptr;
                scalar.depthwise(row);
                row.out = actual.data();
                row.pooled = stride == 2 ? actualPool.data() : nullptr;
                vector.depthwise(row);
                const std::string what = std::to_string(channels) + " channels, width " +
                                         std::to_string(width) + ", stride " +
                                         std::to_string(stride);
                ExpectClose(actual, expected, "depthwise " + what);
                ExpectClose(actualPool, expectedPool, "pooled " + what);
            }
        }
    }
    for (const std::int32_t pixels : {1, 7, 8, 9, 16, 17, 24, 31, 33, 48, 49, 64, 71}) {
        for (const std::int32_t in : {8, 75}) {
            for (const std::int32_t out : {8, 16, 24, 40, 48, 104}) {
                // Planes one float longer than a row, so that a kernel mixing them up shows.
                const std::int32_t plane = pixels + 1;
                const std::vector<float> input =
                    RandomValues(static_cast<std::size_t>(plane * in), random);
                std::vector<const float*> inRows;
                for (std::int32_t k = 0; k < in; ++k) {
                    inRows.push_back(input.data() + k * plane);
                }
                const std::vector<float> weights =
                    RandomValues(static_cast<std::size_t>(in * out), random);
                const std::vector<float> bias = RandomValues(static_cast<std::size_t>(out), random);
                const std::vector<float> skip =
                    RandomValues(static_cast<std::size_t>(plane * 16), random);
                PointwiseRow row;
                row.in = inRows.data();
                row.inChannels = in;
                row.pixels = pixels;
                row.weights = weights.data();
                row.bias = bias.data();
                row.outChannels = out;
                row.skip = out == 24 ? nullptr : skip.data();
                row.skipStride = plane;
                row.skipChannels = 16;
                row.relu = out != 40;
                row.outStride = plane;
                // What the kernel must not write stays as it is.
                std::vector<float> expected =
                    RandomValues(static_cast<std::size_t>(plane * out), random);
                std::vector<float> actual = expected;
                row.out = expected.data();
                scalar.pointwise(row);
                row.out = actual.data();
                vector.pointwise(row);
                ExpectClose(actual, expected,
                            "1x1 " + std::to_string(pixels) + " pixels, " + std::to_string(in) +
                                " -> " + std::to_string(out));
            }
        }
        // Three source rows of `pixels` pixels in one pass, then the input pixels from their sums
        // through taps that reach the row's ends.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pixels * 9));
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        const std::size_t rowBytes = bytes.size() / 3;
        const std::uint8_t* const rows[3] = {bytes.data(), bytes.data() + rowBytes,
                                             bytes.data() + 2 * rowBytes};
        std::vector<float> expected;  // the sums the resample reads next
        for (const bool add : {false, true}) {
            expected = RandomValues(rowBytes, random);
            std::vector<float> actual = expected;
            scalar.accumulate(rows, 3, 0.37f, rowBytes, add, expected.data());
            vector.accumulate(rows, 3, 0.37f, rowBytes, add, actual.data());
            ExpectClose(actual, expected,
                        "accumulate " + std::to_string(rowBytes) + (add ? ", added" : ""));
        }

        constexpr std::int32_t TAPS = 3;
        std::vector<std::int32_t> indices;
        std::vector<float> weights;
        for (std::int32_t t = 0; t < TAPS; ++t) {
            for (std::int32_t i = 0; i < pixels; ++i) {
                indices.push_back(3 * ((i * 7 + t * 5) % pixels));
                weights.push_back(t == 2 && i % 2 == 1 ? 0.0f : 0.25f * static_cast<float>(t + 1));
            }
        }
        // Planes one float longer than the pixels, whose last float the kernels must not write.
        std::vector<float> planes[2];
        planes[0] = RandomValues(static_cast<std::size_t>(3 * (pixels + 1)), random);
        planes[1] = planes[0];
        const auto plane = static_cast<std::size_t>(pixels + 1);
        float* const scalarOut[3] = {planes[0].data(), planes[0].data() + plane,
                                     planes[0].data() + 2 * plane};
        float* const vectorOut[3] = {planes[1].data(), planes[1].data() + plane,
                                     planes[1].data() + 2 * plane};
        scalar.resample(expected.data(), indices.data(), weights.data(), TAPS, pixels, scalarOut);
        vector.resample(expected.data(), indices.data(), weights.data(), TAPS, pixels, vectorOut);
        ExpectClose(planes[1], planes[0], "resample " + std::to_string(pixels));
    }
}

// The kernels of the narrow layers, on channel-interleaved pixels: AVX2 tiles are 4 pixels by 8,
// 16 or 24 channels, AVX-512 ones 8 pixels by 16, 32 or 48 with the last vector masked.
void ExpectInterleavedKernelsAgreeWithScalar(SimdLevel level) {
    SCOPED_TRACE(level == SimdLevel::Avx2 ? "AVX2, interleaved" : "AVX-512, interleaved");
    const FaceKernels scalar = SelectFaceKernels(SimdLevel::Scalar);
    const FaceKernels vector = SelectFaceKernels(level);
    std::mt19937 random(11);
    for (const std::int32_t channels : {8, 24, 40, 104}) {
        for (const std::int32_t width : {1, 5, 8, 13, 16}) {
            for (const std::int32_t stride : {1, 2}) {
                const auto size = static_cast<std::size_t>((stride * width + 2) * channels);
                const std::vector<float> rows[3] = {RandomValues(size, random),
                                                    RandomValues(size, random),
                                                    RandomValues(size, random)};
                const float* const pointers[3] = {rows[0].data(), rows[1].data(), rows[2].data()};
                const std::vector<float> weights =
                    RandomValues(9 * static_cast<std::size_t>(channels), random);
                std::vector<float> expected(static_cast<std::size_t>(width * channels));
                std::vector<float> actual(expected.size());
                scalar.depthwiseInterleaved(pointers, stride, width, channels, weights.data(),
                                            expected.data());
                vector.depthwiseInterleaved(pointers, stride, width, channels, weights.data(),
                                            actual.data());
                ExpectClose(actual, expected,
                            "depthwise " + std::to_string(channels) + " channels, width " +
                                std::to_string(width) + ", stride " + std::to_string(stride));
            }
        }
    }
    for (const std::int32_t pixels : {1, 3, 4, 7, 8, 9, 16}) {
        for (const std::int32_t in : {8, 96}) {
            for (const std::int32_t out : {8, 16, 24, 40, 48, 104}) {
                const std::vector<float> input =
                    RandomValues(static_cast<std::size_t>(pixels * in), random);
                const std::vector<float> weights =
                    RandomValues(static_cast<std::size_t>(in * out), random);
                const std::vector<float> bias = RandomValues(static_cast<std::size_t>(out), random);
                const std::vector<float> skip =
                    RandomValues(static_cast<std::size_t>(pixels * 16), random);
                InterleavedPointwiseRow row;
                row.in = input.data();
                row.inStride = in;
                row.inChannels = in;
                row.pixels = pixels;
                row.weights = weights.data();
                row.bias = bias.data();
                row.outChannels = out;
                row.skip = out == 24 ? nullptr : skip.data();
                row.skipChannels = 16;
                row.relu = out != 40;
                std::vector<float> expected(static_cast<std::size_t>(pixels * out));
                std::vector<float> actual(expected.size());
                row.out = expected.data();
                scalar.pointwiseInterleaved(row);
                row.out = actual.data();
                vector.pointwiseInterleaved(row);
                ExpectClose(actual, expected,
                            "1x1 " + std::to_string(pixels) + " pixels, " + std::to_string(in) +
                                " -> " + std::to_string(out));
            }
        }
    }
}

// A model with only the geometry the decoder reads, and heads whose every score is far below the
// threshold.
struct DecodeFixture {
    FaceModel model;
    FaceFinderState state;

    DecodeFixture() {
        model.inputSide = 256;
        model.heads[0] = {0, 16, 2, 40, {}, {}};
        model.heads[1] = {1, 8, 6, 104, {}, {}};
        for (int grid = 0; grid < 2; ++grid) {
            const FaceHead& head = model.heads[grid];
            state.net.heads[grid].assign(
                static_cast<std::size_t>(head.side * head.side * head.outChannels), 0.0f);
            for (int cell = 0; cell < head.side * head.side; ++cell) {
                for (int anchor = 0; anchor < head.anchors; ++anchor) {
                    state.net
                        .heads[grid][static_cast<std::size_t>(cell * head.outChannels + anchor)] =
                        -20;
                }
            }
        }
    }

    // Anchor `anchor` of cell (x, y) of a grid: a raw score and the box's centre offset and size.
    void Set(int grid, int x, int y, int anchor, float raw, float dx, float dy, float width,
             float height) {
        const FaceHead& head = model.heads[grid];
        float* out = state.net.heads[grid].data() + (y * head.side + x) * head.outChannels;
        out[anchor] = raw;
        float* box = out + head.anchors + anchor * FACE_BOX_VALUES;
        box[0] = dx;
        box[1] = dy;
        box[2] = width;
        box[3] = height;
    }
};

float Sigmoid(float raw) {
    return 1.0f / (1.0f + std::exp(-raw));
}

// The mean of two box values weighted by the scores of raw values 4 and 2.
float Mean(float first, float second) {
    return (first * Sigmoid(4.0f) + second * Sigmoid(2.0f)) / (Sigmoid(4.0f) + Sigmoid(2.0f));
}

TEST(FaceDecodeTest, ScoresAreThresholdedOverlapsMergedAndBoxesMappedToTheFrame) {
    // A 640 x 480 frame lies at rows 32..223 of the 256 x 256 input, 2.5 frame pixels a pixel.
    const PixelRect box{0, 32, 256, 224};
    struct Case {
        const char* what;
        void (*set)(DecodeFixture&);
        std::vector<FaceDetection> expected;
    };
    const Case cases[] = {
        {"one face: the anchor of cell (3, 5) is at (56, 88)",
         [](DecodeFixture& f) { f.Set(0, 3, 5, 1, 3.0f, 4, -8, 20, 30); },
         {{Sigmoid(3.0f), 125, 82.5f, 50, 75}}},
        {"below the threshold",
         [](DecodeFixture& f) { f.Set(0, 3, 5, 1, 1.0f, 0, 0, 20, 30); },
         {}},
        {"two overlapping boxes of either grid merge into their weighted mean, best score",
         [](DecodeFixture& f) {
             f.Set(0, 8, 8, 0, 4.0f, 0, 0, 40, 40);  // centre (136, 136)
             f.Set(1, 4, 4, 3, 2.0f, 0, 0, 44, 44);  // centre (144, 144)
         },
         {{Sigmoid(4.0f), 2.5f * Mean(116, 122), 2.5f * Mean(116, 122) - 80, 2.5f * Mean(40, 44),
           2.5f * Mean(40, 44)}}},
        {"boxes apart stay apart, best first",
         [](DecodeFixture& f) {
             f.Set(0, 2, 8, 0, 2.0f, 0, 0, 20, 20);   // centre (40, 136)
             f.Set(0, 12, 8, 1, 5.0f, 0, 0, 20, 20);  // centre (200, 136)
         },
         {{Sigmoid(5.0f), 475, 235, 50, 50}, {Sigmoid(2.0f), 75, 235, 50, 50}}},
    };
    for (const Case& c : cases) {
        DecodeFixture fixture;
        c.set(fixture);
        std::vector<FaceDetection> faces;
        DecodeFaces(fixture.model, fixture.state, box, 640, 480, faces);
        ASSERT_EQ(faces.size(), c.expected.size()) << c.what;
        for (std::size_t i = 0; i < faces.size(); ++i) {
            EXPECT_NEAR(faces[i].score, c.expected[i].score, 1e-6) << c.what;
            EXPECT_NEAR(faces[i].left, c.expected[i].left, 1e-3) << c.what;
            EXPECT_NEAR(faces[i].top, c.expected[i].top, 1e-3) << c.what;
            EXPECT_NEAR(faces[i].width, c.expected[i].width, 1e-3) << c.what;
            EXPECT_NEAR(faces[i].height, c.expected[i].height, 1e-3) << c.what;
        }
    }
}

struct RecordedFace {
    const char* photo;
    FaceModelKind kind;
    std::vector<FaceDetection> faces;
};

// What the Linux build finds, {score, left, top, width, height} (checked against OpenCV's DNN
// module by face_reference_tests); every build and kernel must find the same.
const RecordedFace RECORDED[] = {
    {"audrey.jpg", FaceModelKind::Back, {{0.923355f, 131.389f, 183.434f, 292.745f, 292.742f}}},
    {"cage.jpg", FaceModelKind::Back, {{0.857976f, 64.475f, 144.049f, 361.191f, 360.415f}}},
    {"SeanConnery.jpg", FaceModelKind::Back, {{0.879638f, 106.507f, 95.745f, 164.745f, 164.510f}}},
    {"bieber_small.jpg", FaceModelKind::Back, {{0.908922f, 98.767f, 228.142f, 294.027f, 294.608f}}},
    {"franck_01829.jpg",
     FaceModelKind::Back,
     {{0.887676f, 253.697f, 196.886f, 281.255f, 280.978f}}},
    {"franck_02888.jpg",
     FaceModelKind::Back,
     {{0.936781f, 223.367f, 194.203f, 288.806f, 288.522f}}},
    {"skullmask.jpg", FaceModelKind::Back, {{0.793057f, 89.702f, 236.438f, 350.911f, 350.413f}}},
    {"cage.jpg+franck_02888.jpg",
     FaceModelKind::Back,
     {{0.949915f, 63.603f, 150.524f, 355.095f, 354.652f},
      {0.945481f, 718.595f, 192.050f, 291.330f, 290.967f}}},
    {"audrey.jpg", FaceModelKind::Front, {{0.990761f, 139.711f, 185.969f, 290.809f, 290.762f}}},
    {"cage.jpg", FaceModelKind::Front, {{0.943887f, 53.141f, 144.192f, 368.095f, 367.246f}}},
    {"SeanConnery.jpg", FaceModelKind::Front, {{0.941180f, 98.359f, 93.734f, 174.234f, 173.970f}}},
    {"bieber_small.jpg",
     FaceModelKind::Front,
     {{0.958983f, 91.348f, 221.151f, 308.680f, 307.863f}}},
    {"franck_01829.jpg",
     FaceModelKind::Front,
     {{0.974934f, 260.053f, 203.335f, 270.863f, 271.894f}}},
    {"franck_02888.jpg",
     FaceModelKind::Front,
     {{0.916844f, 218.310f, 189.408f, 300.719f, 301.846f}}},
    {"skullmask.jpg", FaceModelKind::Front, {}},
    {"cage.jpg+franck_02888.jpg",
     FaceModelKind::Front,
     {{0.956748f, 51.919f, 135.429f, 373.476f, 375.913f},
      {0.941508f, 711.722f, 183.622f, 302.596f, 304.580f}}},
};

std::string Describe(const std::vector<FaceDetection>& faces) {
    std::string text;
    for (const FaceDetection& face : faces) {
        char line[160];
        std::snprintf(line, sizeof line, "{%.6ff, %.3ff, %.3ff, %.3ff, %.3ff}, ", face.score,
                      face.left, face.top, face.width, face.height);
        text += line;
    }
    return "{" + text + "}";
}

void ExpectRecorded(const std::vector<FaceDetection>& faces, const RecordedFace& recorded,
                    const std::string& what) {
    ASSERT_EQ(faces.size(), recorded.faces.size()) << what << ": " << Describe(faces);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const FaceDetection& expected = recorded.faces[i];
        EXPECT_NEAR(faces[i].score, expected.score, 1e-4) << what << ": " << Describe(faces);
        EXPECT_NEAR(faces[i].left, expected.left, 0.5) << what << ": " << Describe(faces);
        EXPECT_NEAR(faces[i].top, expected.top, 0.5) << what << ": " << Describe(faces);
        EXPECT_NEAR(faces[i].width, expected.width, 0.5) << what << ": " << Describe(faces);
        EXPECT_NEAR(faces[i].height, expected.height, 0.5) << what << ": " << Describe(faces);
    }
}

TEST(FaceFinderTest, RealPhotosGiveTheRecordedFacesOnEveryBuildAndKernel) {
    FaceFinderState state;
    std::vector<FaceDetection> faces;
    for (const RecordedFace& recorded : RECORDED) {
        std::string error;
        const FaceModel* model = TestFaceModel(recorded.kind, error);
        ASSERT_NE(model, nullptr) << error;
        const FrameImage photo = LoadFacePhoto(recorded.photo, error);
        ASSERT_GT(photo.width, 0) << error;
        const std::string what = std::string(recorded.photo) +
                                 (recorded.kind == FaceModelKind::Back ? " back" : " front");
        FindFaces(photo, *model, state, faces);
        ExpectRecorded(faces, recorded, what);
        // Every level's kernels on the two faces with the front model only: the scalar ones are
        // slow in a debug build, and the kernel test compares them all at every size.
        if (recorded.kind == FaceModelKind::Front &&
            std::string(recorded.photo).find('+') != std::string::npos) {
            for (const SimdLevel level : LEVELS) {
                FindFaces(photo, *model, state, faces, level);
                ExpectRecorded(faces, recorded,
                               what + " level " + std::to_string(static_cast<int>(level)));
            }
        }
    }
}

// Frames whose picture is a row, a column or a pixel of the input, the rest bars: every level's
// network gives the scalar one's grids, whose input rows it wrote as the stem asked for them.
// (Noise through sixteen layers takes the two roundings some 1e-4 apart.)
TEST(FaceFinderTest, ThinAndTinyFramesGiveTheSameGridsAtEveryLevel) {
    std::string error;
    const FaceModel* model = TestFaceModel(FaceModelKind::Front, error);
    ASSERT_NE(model, nullptr) << error;
    std::mt19937 random(5);
    for (const auto& [width, height] : {std::pair{1, 1}, {1000, 1}, {3, 700}, {5, 4}}) {
        FrameImage frame = MakeFrameImage(width, height);
        for (Pixel24& pixel : frame.pixels) {
            pixel = {static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                     static_cast<std::uint8_t>(random())};
        }
        std::vector<FaceDetection> faces;
        FaceFinderState scalar;
        FindFaces(frame, *model, scalar, faces, SimdLevel::Scalar);
        for (const SimdLevel level : {SimdLevel::Avx2, SimdLevel::Avx512}) {
            FaceFinderState state;
            FindFaces(frame, *model, state, faces, level);
            for (int grid = 0; grid < 2; ++grid) {
                const std::vector<float>& expected = scalar.net.heads[grid];
                const std::vector<float>& actual = state.net.heads[grid];
                ASSERT_EQ(actual.size(), expected.size());
                for (std::size_t i = 0; i < actual.size(); ++i) {
                    ASSERT_NEAR(actual[i], expected[i],
                                1e-3f * std::max(1.0f, std::abs(expected[i])))
                        << width << " x " << height << ", level " << static_cast<int>(level)
                        << ", grid " << grid << ", value " << i;
                }
            }
        }
    }
}

// Input rows of noise with runs of equal rows between them (the letterbox's bars and shorter
// runs): rows that repeat the row above are copied, and must be what computing them gives.
void FillBanded(void* context, std::int32_t y) {
    const auto& [model, state] = *static_cast<std::pair<const FaceModel*, FaceNetState*>*>(context);
    const std::int32_t side = model->inputSide;
    // Equal rows in bands 0, 3 and 7 of eight and in the first four rows of band 5.
    const std::int32_t band = y * 8 / side, inBand = y % (side / 8);
    const bool equal = band == 0 || band == 3 || band == 7 || (band == 5 && inBand < 4);
    std::mt19937 random(static_cast<std::uint32_t>(equal ? band : side + y));
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (std::int32_t plane = 0; plane < 6; ++plane) {
        float* row = FaceInputRow(*model, *state, y, plane / 2, plane % 2);
        for (std::int32_t x = 0; x < side / 2; ++x) {
            row[x] = value(random);
        }
    }
}

TEST(FaceNetTest, RowsCopiedFromTheRowAboveAreTheRowsComputed) {
    for (const FaceModelKind kind : {FaceModelKind::Front, FaceModelKind::Back}) {
        std::string error;
        const FaceModel* model = TestFaceModel(kind, error);
        ASSERT_NE(model, nullptr) << error;
        FaceNetState states[2];
        for (const bool copy : {false, true}) {
            FaceNetState& state = states[copy];
            PrepareFaceNet(*model, state);
            state.copyRepeats = copy;
            std::pair<const FaceModel*, FaceNetState*> context{model, &state};
            RunFaceNet(*model, state, SelectFaceKernels(SimdLevel::Avx512), {FillBanded, &context});
        }
        for (int grid = 0; grid < 2; ++grid) {
            EXPECT_EQ(states[1].heads[grid], states[0].heads[grid])
                << "model " << model->inputSide << ", grid " << grid;
        }
    }
}

TEST(FaceFinderTest, ARepeatedFrameSizeAllocatesNothing) {
    for (const FaceModelKind kind : {FaceModelKind::Front, FaceModelKind::Back}) {
        std::string error;
        const FaceModel* model = TestFaceModel(kind, error);
        ASSERT_NE(model, nullptr) << error;
        const FrameImage photo = LoadFacePhoto(FACE_PHOTOS[0], error);
        ASSERT_GT(photo.width, 0) << error;
        FaceFinderState state;
        std::vector<FaceDetection> faces;
        FindFaces(photo, *model, state, faces);
        const std::size_t before = allocationCount;
        FindFaces(photo, *model, state, faces);
        EXPECT_EQ(allocationCount - before, 0u);
        EXPECT_FALSE(faces.empty());
    }
}

TEST(FaceFinderTest, EmptyAndShortFramesHaveNoFaces) {
    std::string error;
    const FaceModel* model = TestFaceModel(FaceModelKind::Front, error);
    ASSERT_NE(model, nullptr) << error;
    FrameImage shortFrame = MakeFrameImage(64, 48);
    shortFrame.pixels.resize(64 * 47);
    FaceFinderState state;
    std::vector<FaceDetection> faces{FaceDetection{}};
    for (const FrameImage& frame : {FrameImage{}, shortFrame}) {
        FindFaces(frame, *model, state, faces);
        EXPECT_TRUE(faces.empty());
    }
}

}  // namespace
