// Which overlay frame a paint shows: the animation moves on at most once every 10 ms of paints.
#pragma once

#include <cstdint>

// Lives for the whole run on the paint thread. The clock starts at the first paint that draws the
// overlay; turning the overlay off pauses the animation where it stands.
struct AnimationState {
    std::int32_t frameIndex = 0;  // 0 .. 68
    std::uint32_t lastAdvanceTick = 0;
    bool started = false;
};

// Called once per paint with the overlay on, at tick (milliseconds, 32-bit, wrapping). Advances
// when more than 10 ms passed since the last advance and returns the frame to draw. After frame 68
// the index drops to 0, so the next advance shows frame 1: the loop is 1 .. 68, and frame 0 shows
// again only when a paint follows frame 68 within 10 ms.
std::int32_t AdvanceOverlayAnimation(AnimationState& animation, std::uint32_t tick);
