// Which vector instructions a hot loop may use, decided once at run time so one binary runs on
// every x86-64 processor (and other architectures take the scalar path).
#pragma once

#include <cstdint>
#include <vector>

// 1 where the vector kernels exist: x86, 32 or 64 bits.
#if defined(__x86_64__) || defined(__i386__)
#define RAVK_X86 1
#else
#define RAVK_X86 0
#endif

// Avx512 is AVX-512 F, BW, VL and DQ with AVX2, FMA and BMI2; code without a kernel of its own for
// it runs its AVX2 kernel there. Avx512Vbmi adds VBMI's byte permutes across the register; code
// without a kernel of its own for it runs its Avx512 one.
enum class SimdLevel { Scalar, Sse41, Avx2, Avx512, Avx512Vbmi };

// The best level this processor supports.
SimdLevel DetectSimdLevel();

// Whether this processor can run the given level.
bool SimdLevelSupported(SimdLevel level);

// Floats in a cache line. Buffers the vector kernels sweep start on one, so that no vector load or
// store straddles two lines, which costs about twice as much.
inline constexpr std::int32_t CACHE_LINE_FLOATS = 16;

// The first float of values on a cache line: values holds CACHE_LINE_FLOATS more than it is used
// for.
inline float* CacheLineAligned(std::vector<float>& values) {
    const auto address = reinterpret_cast<std::uintptr_t>(values.data());
    return values.data() +
           (CACHE_LINE_FLOATS - address / sizeof(float) % CACHE_LINE_FLOATS) % CACHE_LINE_FLOATS;
}
