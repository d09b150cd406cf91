#include <gtest/gtest.h>
#include "tintwell.h"
extern "C" uint32_t TntHeaderCheckFromC(void);
TEST(Header, CompilesAsC) { EXPECT_EQ(TntHeaderCheckFromC(), 0x4C616220u); }
