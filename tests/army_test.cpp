#include <gtest/gtest.h>

#include "army/Army.h"

TEST(ArmySmoke, NewArmyIsEmpty) {
    Army a;
    EXPECT_EQ(a.maxSize, 100);
    EXPECT_EQ(a.checkInvariants(), "");
}
