// Test entry: refuses to run in a locale other than code page 936, where every GBK text would mislead.
#include <windows.h>

#include <gtest/gtest.h>

namespace {
class CodePageCheck : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), 936u) << "run the tests with LANG=zh_CN.UTF-8 so Wine uses code page 936";
    }
};
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CodePageCheck);
    return RUN_ALL_TESTS();
}
