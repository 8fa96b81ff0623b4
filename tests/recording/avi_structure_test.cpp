#include "avi_structure.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A chunk of id holding the parts one after another, with the pad byte of an odd size.
Bytes Chunk(const std::string& id, const std::vector<Bytes>& parts) {
    Bytes data;
    for (const Bytes& part : parts) {
        data.insert(data.end(), part.begin(), part.end());
    }
    Bytes chunk(id.begin(), id.end());
    for (int shift = 0; shift < 32; shift += 8) {
        chunk.push_back(static_cast<std::uint8_t>(data.size() >> shift));
    }
    chunk.insert(chunk.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) {
        chunk.push_back(0);
    }
    return chunk;
}

Bytes Form(const char* form) {
    return Bytes(form, form + 4);
}

TEST(AviStructure, OnlyAFileHoldingItsHeaderMoviesAndIndexIsWhole) {
    const Bytes header = Chunk("LIST", {Form("hdrl"), Chunk("avih", {Bytes(56, 1)})});
    const Bytes movies = Chunk("LIST", {Form("movi"), Chunk("00db", {Bytes(7, 2)})});
    const Bytes index = Chunk("idx1", {Bytes(16, 3)});
    const Bytes whole =
        Chunk("RIFF", {Form("AVI "), header, Chunk("JUNK", {Bytes(5)}), movies, index});
    const Bytes zeros(20);
    const Bytes cutShort(whole.begin(), whole.end() - 10);
    Bytes killed(12);  // the header a writer fills in only at the end
    killed.insert(killed.end(), whole.begin() + 12, whole.end());
    const struct {
        const char* what;
        std::vector<Bytes> file;
        bool whole;
    } cases[] = {
        {"whole", {whole}, true},
        {"zeros after the end", {whole, zeros}, true},
        {"an AVIX part, indexed in the header",
         {Chunk("RIFF", {Form("AVI "), header, movies}), Chunk("RIFF", {Form("AVIX"), movies})},
         true},
        {"no index", {Chunk("RIFF", {Form("AVI "), header, movies})}, false},
        {"header not first", {Chunk("RIFF", {Form("AVI "), movies, header, index})}, false},
        {"cut short", {cutShort}, false},
        {"header of zeros", {killed}, false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string file = dir.File("clip.avi");
        Bytes bytes;
        for (const Bytes& part : c.file) {
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        WriteFileBytes(file, bytes);
        EXPECT_EQ(IsWholeAviFile(file), c.whole) << c.what;
    }
}

}  // namespace
