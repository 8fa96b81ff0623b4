// The protobuf wire format, read field by field within the bounds of a byte block it does not own.
// Whatever the bytes hold, every length is checked against what is left before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class WireType : std::uint8_t { Varint = 0, Fixed64 = 1, Bytes = 2, Fixed32 = 5 };

struct WireField {
    std::uint32_t number = 0;
    WireType type = WireType::Varint;
    std::uint64_t value = 0;              // Varint, Fixed64 and Fixed32 fields
    const std::uint8_t* bytes = nullptr;  // Bytes fields: a view into the block
    std::size_t size = 0;
};

// What is left of a message: [at, end).
struct WireCursor {
    const std::uint8_t* at = nullptr;
    const std::uint8_t* end = nullptr;
};

inline WireCursor WireCursorOf(const std::uint8_t* bytes, std::size_t size) {
    return {bytes, bytes + size};
}

// Reads the next field into field. Returns false at the end of the message (error left empty)
// and on a malformed field (a one-line reason in error); groups are malformed here.
bool NextWireField(WireCursor& cursor, WireField& field, std::string& error);

// The integers of a repeated integer field, packed (Bytes) or not (one Varint); appended to
// values. False, with a reason, on a malformed packed run or more than maxCount values.
bool AppendWireVarints(const WireField& field, std::vector<std::int64_t>& values,
                       std::size_t maxCount, std::string& error);

inline std::string WireString(const WireField& field) {
    return std::string(reinterpret_cast<const char*>(field.bytes), field.size);
}
