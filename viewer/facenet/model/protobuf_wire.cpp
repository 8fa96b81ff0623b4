#include "protobuf_wire.h"

namespace {

bool ReadVarint(WireCursor& cursor, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (cursor.at == cursor.end) {
            return false;
        }
        const std::uint8_t byte = *cursor.at++;
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80u) == 0) {
            return true;
        }
    }
    return false;  // more than ten bytes
}

bool ReadFixed(WireCursor& cursor, int bytes, std::uint64_t& value) {
    if (cursor.end - cursor.at < bytes) {
        return false;
    }
    value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= std::uint64_t{cursor.at[i]} << (8 * i);
    }
    cursor.at += bytes;
    return true;
}

}  // namespace

bool NextWireField(WireCursor& cursor, WireField& field, std::string& error) {
    error.clear();
    if (cursor.at == cursor.end) {
        return false;
    }
    std::uint64_t key = 0;
    if (!ReadVarint(cursor, key)) {
        error = "truncated field key";
        return false;
    }
    const std::uint64_t number = key >> 3;
    if (number == 0 || number > 0x1FFFFFFF) {
        error = "invalid field number " + std::to_string(number);
        return false;
    }
    field = WireField{};
    field.number = static_cast<std::uint32_t>(number);
    bool ok = false;
    switch (key & 7) {
        case 0:
            field.type = WireType::Varint;
            ok = ReadVarint(cursor, field.value);
            break;
        case 1:
            field.type = WireType::Fixed64;
            ok = ReadFixed(cursor, 8, field.value);
            break;
        case 5:
            field.type = WireType::Fixed32;
            ok = ReadFixed(cursor, 4, field.value);
            break;
        case 2: {
            field.type = WireType::Bytes;
            std::uint64_t size = 0;
            ok = ReadVarint(cursor, size) &&
                 size <= static_cast<std::uint64_t>(cursor.end - cursor.at);
            if (ok) {
                field.bytes = cursor.at;
                field.size = static_cast<std::size_t>(size);
                cursor.at += size;
            }
            break;
        }
        default:
            error = "unsupported wire type " + std::to_string(key & 7) + " of field " +
                    std::to_string(number);
            return false;
    }
    if (!ok) {
        error = "field " + std::to_string(number) + " runs past the end of its message";
    }
    return ok;
}

bool AppendWireVarints(const WireField& field, std::vector<std::int64_t>& values,
                       std::size_t maxCount, std::string& error) {
    if (field.type == WireType::Varint) {
        if (values.size() >= maxCount) {
            error = "more than " + std::to_string(maxCount) + " values in field " +
                    std::to_string(field.number);
            return false;
        }
        values.push_back(static_cast<std::int64_t>(field.value));
        return true;
    }
    if (field.type != WireType::Bytes) {
        error = "field " + std::to_string(field.number) + " is not an integer list";
        return false;
    }
    WireCursor cursor = WireCursorOf(field.bytes, field.size);
    while (cursor.at != cursor.end) {
        std::uint64_t value = 0;
        if (!ReadVarint(cursor, value)) {
            error = "malformed integer list in field " + std::to_string(field.number);
            return false;
        }
        if (values.size() >= maxCount) {
            error = "more than " + std::to_string(maxCount) + " values in field " +
                    std::to_string(field.number);
            return false;
        }
        values.push_back(static_cast<std::int64_t>(value));
    }
    return true;
}
