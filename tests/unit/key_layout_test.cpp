// The key's indicators read within the bytes there are (labels and serial numbers are checked by the
// report_text fuzz replay).
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "key_layout.h"

TEST(KeyLayout, ApplicationAndContainerIndicatorsPastTheDataReadAsZero)
{
    std::vector<unsigned char> info(340, 0);
    info[68 + 136] = 5; // second application only
    EXPECT_FALSE(ApplicationListed(info.data(), info.size(), 0));
    EXPECT_TRUE(ApplicationListed(info.data(), info.size(), 1));
    EXPECT_FALSE(ApplicationListed(info.data(), info.size(), 2));
    EXPECT_FALSE(ApplicationListed(info.data(), 100, 1));

    std::vector<unsigned char> dir(620, 0);
    dir[32] = 1;        // container 0: encryption indicator but not in use
    dir[148 + 40] = 1;  // container 1: signature, in use
    dir[148 + 48] = 1;
    ContainerState c0 = ReadContainerState(dir.data(), dir.size(), 0);
    ContainerState c1 = ReadContainerState(dir.data(), dir.size(), 1);
    EXPECT_EQ(c0.inUse + c0.hasEncryption + c0.hasSignature, 0);
    EXPECT_EQ(c1.inUse, 1);
    EXPECT_EQ(c1.hasEncryption, 0);
    EXPECT_EQ(c1.hasSignature, 1);
    EXPECT_EQ(ReadContainerState(dir.data(), 150, 1).inUse, 0);
}
