#include "frame_rows.h"

#include <cstring>

bool RowsFit(std::size_t bufferBytes, std::size_t stride, std::size_t rowBytes, std::size_t rows) {
    if (rows == 0) {
        return true;
    }
    if (rowBytes > bufferBytes || (rows > 1 && stride < rowBytes)) {
        return false;
    }
    return rows - 1 <= (stride == 0 ? rows : (bufferBytes - rowBytes) / stride);
}

void CopyRows(std::uint8_t* target, std::size_t targetStride, const std::uint8_t* source,
              std::size_t sourceStride, std::size_t rowBytes, std::size_t rows, RowOrder order) {
    if (rows == 0 || rowBytes == 0) {
        return;
    }
    if (order == RowOrder::Same && targetStride == rowBytes && sourceStride == rowBytes) {
        std::memcpy(target, source, rowBytes * rows);
        return;
    }
    for (std::size_t i = 0; i < rows; ++i) {
        const std::size_t to = order == RowOrder::Same ? i : rows - 1 - i;
        std::memcpy(target + to * targetStride, source + i * sourceStride, rowBytes);
    }
}
