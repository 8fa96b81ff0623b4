// The one layout of 24-bit pictures in this system, and the one row copy between them. A pixel is
// three bytes (blue, green, red). Frames and plug-in buffers have packed rows of 3 x width bytes;
// bitmaps (the display surface, BMP files, AVI frames) pad each row to a multiple of four bytes.
// Rows run bottom-up in frames and top-down in the surface, so a copy between the two flips them.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of one packed row.
constexpr std::size_t PackedRowBytes(std::int32_t width) {
    return 3 * static_cast<std::size_t>(width);
}

// Bytes of one bitmap row: the packed row rounded up to a multiple of four.
constexpr std::size_t PaddedRowBytes(std::int32_t width) {
    return (PackedRowBytes(width) + 3) / 4 * 4;
}

enum class RowOrder {
    Same,     // source row i becomes target row i
    Flipped,  // source row i becomes target row rows - 1 - i (bottom-up <-> top-down)
};

// Whether rows rows of rowBytes bytes, stride bytes apart, lie inside a buffer of bufferBytes
// bytes. Checked without overflow, for buffers whose sizes come from outside.
bool RowsFit(std::size_t bufferBytes, std::size_t stride, std::size_t rowBytes, std::size_t rows);

// Copies rows rows of rowBytes bytes from source (rows sourceStride apart) into target (rows
// targetStride apart), in the given order. One block copy when both are packed and the order is
// the same. The caller has checked that both buffers hold the rows (RowsFit).
void CopyRows(std::uint8_t* target, std::size_t targetStride, const std::uint8_t* source,
              std::size_t sourceStride, std::size_t rowBytes, std::size_t rows, RowOrder order);
