#include "dialog_units.h"

#include <gtest/gtest.h>

namespace {

TEST(DialogUnitsTest, CoordinatesScaleByQuartersAndEighthsRoundingHalvesUp) {
    const DialogBaseUnits units{7, 14};
    EXPECT_EQ(ToPixels({22, 17, 374, 308}, units), QRect(39, 30, 655, 539));
    EXPECT_EQ(ToPixels({1, 1, 2, 4}, {6, 12}), QRect(2, 2, 3, 6));
}

TEST(DialogUnitsTest, BaseUnitsFollowTheFontSize) {
    const DialogBaseUnits small = BaseUnitsOf(DialogFont(8));
    const DialogBaseUnits large = BaseUnitsOf(DialogFont(20));
    EXPECT_GT(small.x, 0);
    EXPECT_GT(large.x, small.x);
    EXPECT_GT(large.y, small.y);
}

}  // namespace
