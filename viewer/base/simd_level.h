// Which vector instructions a hot loop may use, decided once at run time so one binary runs on
// every x86-64 processor (and other architectures take the scalar path).
#pragma once

enum class SimdLevel { Scalar, Sse41, Avx2 };

// The best level this processor supports.
SimdLevel DetectSimdLevel();

// Whether this processor can run the given level.
bool SimdLevelSupported(SimdLevel level);
