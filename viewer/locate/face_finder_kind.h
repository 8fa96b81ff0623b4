// Which method finds the face, as the settings name it.
#pragma once

#include <optional>
#include <string_view>

// The skin analysis, or the face finder with its back (256) or front (128) model.
enum class FaceFinderKind { Skin, Cnn, CnnFast };

// "skin", "cnn" or "cnn-fast", in any letter case; nullopt for anything else.
std::optional<FaceFinderKind> FaceFinderFromName(std::string_view name);
