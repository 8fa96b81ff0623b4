#include "overlay_animation.h"

#include "overlay_sprite.h"

namespace {

constexpr std::uint32_t ANIMATION_STEP_MS = 10;

}  // namespace

std::int32_t AdvanceOverlayAnimation(AnimationState& animation, std::uint32_t tick) {
    if (!animation.started) {
        animation.started = true;
        animation.lastAdvanceTick = tick;
    }
    // Elapsed time in unsigned arithmetic stays right when the tick count wraps around.
    if (static_cast<std::uint32_t>(tick - animation.lastAdvanceTick) > ANIMATION_STEP_MS) {
        ++animation.frameIndex;
        animation.lastAdvanceTick = tick;
    }
    const std::int32_t shown = animation.frameIndex;
    if (animation.frameIndex >= OVERLAY_FRAME_COUNT - 1) {
        animation.frameIndex = 0;
    }
    return shown;
}
