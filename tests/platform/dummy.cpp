#include <gtest/gtest.h>
TEST(Dummy, Builds) { SUCCEED(); }
