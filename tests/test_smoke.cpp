#include <gtest/gtest.h>
#include "kem.h"
TEST(Smoke, HeaderCompiles) { EXPECT_EQ(KEM_MISSING, -9999); }
