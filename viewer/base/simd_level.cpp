#include "simd_level.h"

bool SimdLevelSupported(SimdLevel level) {
#if RAVK_X86
    // Needed when this runs before static constructors have filled in the processor model.
    __builtin_cpu_init();
    switch (level) {
        case SimdLevel::Scalar:
            return true;
        case SimdLevel::Sse41:
            return __builtin_cpu_supports("sse4.1");
        case SimdLevel::Avx2:
            // The face finder's kernels also use FMA, which every AVX2 processor has.
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case SimdLevel::Avx512:
            return SimdLevelSupported(SimdLevel::Avx2) && __builtin_cpu_supports("avx512f") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                   __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("bmi2");
        case SimdLevel::Avx512Vbmi:
            return SimdLevelSupported(SimdLevel::Avx512) && __builtin_cpu_supports("avx512vbmi");
    }
    return false;
#else
    return level == SimdLevel::Scalar;
#endif
}

SimdLevel DetectSimdLevel() {
    if (SimdLevelSupported(SimdLevel::Avx512Vbmi)) {
        return SimdLevel::Avx512Vbmi;
    }
    if (SimdLevelSupported(SimdLevel::Avx512)) {
        return SimdLevel::Avx512;
    }
    if (SimdLevelSupported(SimdLevel::Avx2)) {
        return SimdLevel::Avx2;
    }
    if (SimdLevelSupported(SimdLevel::Sse41)) {
        return SimdLevel::Sse41;
    }
    return SimdLevel::Scalar;
}
