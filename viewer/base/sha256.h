// SHA-256 of a byte block, to recognise a model file byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(const std::uint8_t* bytes, std::size_t size);

// The digest as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string Sha256Hex(const Sha256Digest& digest);
