#include "avi_structure.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace {

struct ChunkHeader {
    std::string_view id;
    std::uint64_t size = 0;       // of the data, without the header and the pad byte
    std::string_view form;        // of a RIFF or LIST chunk
    std::uint64_t nextStart = 0;  // where the next chunk starts
};

// Reads the chunk header at offset (with the form of RIFF and LIST) into bytes; false when it does
// not fit before end.
bool ReadChunk(std::ifstream& file, std::uint64_t offset, std::uint64_t end, char (&bytes)[12],
               ChunkHeader& chunk) {
    file.clear();  // a short read before leaves the stream failed
    if (end - offset < 8 || !file.seekg(static_cast<std::streamoff>(offset)) ||
        !file.read(bytes, 8)) {
        return false;
    }
    const auto byte = [&](int i) { return std::uint64_t{static_cast<std::uint8_t>(bytes[i])}; };
    chunk.id = std::string_view(bytes, 4);
    chunk.size = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
    chunk.form = {};
    if (chunk.id == "RIFF" || chunk.id == "LIST") {
        if (chunk.size < 4 || !file.read(bytes + 8, 4)) {
            return false;
        }
        chunk.form = std::string_view(bytes + 8, 4);
    }
    // The pad byte of an odd size may be missing at the very end.
    chunk.nextStart = std::min(offset + 8 + chunk.size + (chunk.size & 1), end);
    return offset + 8 + chunk.size <= end;
}

// The chunks of the first RIFF part, between begin and end.
bool HasHeaderMoviesAndIndex(std::ifstream& file, std::uint64_t begin, std::uint64_t end,
                             bool needIndex) {
    bool header = false, movies = false, index = false;
    char bytes[12];
    ChunkHeader chunk;
    for (std::uint64_t offset = begin; offset < end; offset = chunk.nextStart) {
        if (!ReadChunk(file, offset, end, bytes, chunk)) {
            return false;
        }
        header = header || (offset == begin && chunk.form == "hdrl");
        movies = movies || chunk.form == "movi";
        index = index || chunk.id == "idx1";
    }
    return header && movies && (index || !needIndex);
}

}  // namespace

bool IsWholeAviFile(const std::string& fileName) {
    std::error_code error;
    const std::uint64_t end = std::filesystem::file_size(fileName, error);
    std::ifstream file(fileName, std::ios::binary);
    if (error || !file) {
        return false;
    }
    char bytes[12];
    ChunkHeader first, part;
    if (!ReadChunk(file, 0, end, bytes, first) || first.id != "RIFF" || first.form != "AVI ") {
        return false;
    }
    // Bytes after the parts are no chunk anyone reads (one writer pads its files with zeros).
    bool extended = false;
    for (std::uint64_t offset = first.nextStart; end - offset >= 12; offset = part.nextStart) {
        if (!file.seekg(static_cast<std::streamoff>(offset)) || !file.read(bytes, 12) ||
            std::string_view(bytes, 4) != "RIFF" || std::string_view(bytes + 8, 4) != "AVIX") {
            break;
        }
        if (!ReadChunk(file, offset, end, bytes, part)) {
            return false;
        }
        extended = true;
    }
    return HasHeaderMoviesAndIndex(file, 12, 8 + first.size, !extended);
}
