# Cross build for 32-bit Windows with Debian's mingw-w64.
set(RAVK_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Floating point on SSE2 rather than the x87 unit, whose 80-bit intermediates round differently:
# colour conversion and the recorder's schedule are defined in double precision, as on x86_64.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
