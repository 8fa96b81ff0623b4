// Which vector instructions a hot loop may use, decided once at run time so one binary runs on
// every x86-64 processor (and other architectures take the scalar path).
#pragma once

// Avx512 is AVX-512 F, BW, VL and DQ with AVX2 and FMA; code without a kernel of its own for it
// runs its AVX2 kernel there.
enum class SimdLevel { Scalar, Sse41, Avx2, Avx512 };

// The best level this processor supports.
SimdLevel DetectSimdLevel();

// Whether this processor can run the given level.
bool SimdLevelSupported(SimdLevel level);
