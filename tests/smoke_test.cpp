#include <gtest/gtest.h>
#include "report/editing.h"
TEST(Smoke, Builds) { EXPECT_EQ(arbora::editFixed(0.25, 4, 1), " 0.2"); }
