// Entry of the portable stand-in tests built natively (no Wine, no code page check) under sanitizers.
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
