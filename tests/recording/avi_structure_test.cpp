#include "avi_structure.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A chunk: id, little-endian size, data, and the pad byte of an odd size.
Bytes Chunk(const std::string& id, const Bytes& data) {
    Bytes chunk(id.begin(), id.end());
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int shift = 0; shift < 32; shift += 8) {
        chunk.push_back(static_cast<std::uint8_t>(size >> shift));
    }
    chunk.insert(chunk.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) {
        chunk.push_back(0);
    }
    return chunk;
}

Bytes Joined(const std::vector<Bytes>& parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

Bytes List(const std::string& id, const std::string& form, const std::vector<Bytes>& parts) {
    Bytes data(form.begin(), form.end());
    const Bytes joined = Joined(parts);
    data.insert(data.end(), joined.begin(), joined.end());
    return Chunk(id, data);
}

TEST(AviStructure, OnlyAFileWhoseChunksFillItWithHeaderMoviesAndIndexIsWhole) {
    const Bytes header = List("LIST", "hdrl", {Chunk("avih", Bytes(56, 1))});
    const Bytes movies = List("LIST", "movi", {Chunk("00db", Bytes(7, 2)), Chunk("00db", {})});
    const Bytes index = Chunk("idx1", Bytes(32, 3));
    const Bytes whole = List("RIFF", "AVI ", {header, Chunk("JUNK", Bytes(5)), movies, index});
    Bytes truncated = whole;
    truncated.resize(whole.size() - 10);
    Bytes zeroHeader = whole;
    std::fill(zeroHeader.begin(), zeroHeader.begin() + 12, 0);
    Bytes trailing = whole;
    trailing.resize(whole.size() + 20);
    const Bytes extension = List("RIFF", "AVIX", {movies});
    const struct {
        const char* what;
        Bytes file;
        bool whole;
    } cases[] = {
        {"whole", whole, true},
        {"with an AVIX part, indexed in its header",
         Joined({List("RIFF", "AVI ", {header, movies}), extension}), true},
        {"no index", List("RIFF", "AVI ", {header, movies}), false},
        {"no movies", List("RIFF", "AVI ", {header, index}), false},
        {"header not first", List("RIFF", "AVI ", {movies, header, index}), false},
        {"cut short", truncated, false},
        {"header of zeros", zeroHeader, false},
        {"zeros after the end", trailing, true},
        {"not a RIFF AVI", List("RIFF", "WAVE", {header, movies, index}), false},
        {"AVIX part cut short",
         Joined({List("RIFF", "AVI ", {header, movies}),
                 Bytes(extension.begin(), extension.end() - 1)}),
         false},
        {"empty", {}, false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string file = dir.File("clip.avi");
        WriteFileBytes(file, c.file);
        EXPECT_EQ(IsWholeAviFile(file), c.whole) << c.what;
    }
    EXPECT_FALSE(IsWholeAviFile(dir.File("missing.avi")));
}

}  // namespace
