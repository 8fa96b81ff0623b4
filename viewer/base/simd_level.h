// Which vector instructions a hot loop may use, decided once at run time so one binary runs on
// every x86-64 processor (and other architectures take the scalar path).
#pragma once

// Avx512 is AVX-512 F, BW, VL and DQ with AVX2, FMA and BMI2; code without a kernel of its own for
// it runs its AVX2 kernel there. Avx512Vbmi adds VBMI's byte permutes across the register; code
// without a kernel of its own for it runs its Avx512 one.
enum class SimdLevel { Scalar, Sse41, Avx2, Avx512, Avx512Vbmi };

// The best level this processor supports.
SimdLevel DetectSimdLevel();

// Whether this processor can run the given level.
bool SimdLevelSupported(SimdLevel level);
