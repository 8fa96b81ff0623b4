// What both viewers must save for test_plugin_fixed_scene's picture at 640 x 480 with "&Mask" and
// "&Box" on: the composition is portable, so capture_ravk.bmp is the same file on every platform.
// The file is compared by a 64-bit FNV-1a digest of its bytes.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr std::uint64_t FIXED_SCENE_MASK_BOX_SNAPSHOT_DIGEST = 0xc3285ab723e576bb;

inline std::uint64_t Fnv1aDigest(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t digest = 0xcbf29ce484222325u;
    for (const std::uint8_t byte : bytes) {
        digest = (digest ^ byte) * 0x100000001b3u;
    }
    return digest;
}
