// The device information report: the time line, the file's bytes, the message box.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <fstream>

#include "manager_window.h"
#include "report_text.h"

namespace {

TEST(ReportTextAssembly, TimeLineHasNoLeadingZeros)
{
    char text[256];
    ReportDate now = { 2014, 3, 5, 8, 7, 9 };
    BuildReportText(text, sizeof text, 10, &now, "");
    EXPECT_STREQ(text, "操作系统版本: Windows 7\n当前系统时间:2014年3月5日8时7分9秒\n\n设备和证书信息如下:\n\n");
}

class ReportTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        path = std::string(temp) + "KeyInfoTest.txt";
        DeleteFileA(path.c_str());
        ReportFilePath = path.c_str();
        ZeroMemory(ReportText, sizeof ReportText);
    }
    void TearDown() override
    {
        ReportFilePath = "c:\\KeyInfo.txt";
        DeleteFileA(path.c_str());
        ManagerTest::TearDown();
    }
    std::string FileBytes()
    {
        std::ifstream file(path, std::ios::binary);
        return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
    }
    // Replaces the time line (whose seconds move) after checking its shape.
    static std::string WithoutTime(const std::string& text, const char* lineEnd)
    {
        size_t start = text.find("当前系统时间:");
        size_t end = text.find(lineEnd, start);
        if (start == std::string::npos || end == std::string::npos)
            return text;
        std::string line = text.substr(start, end - start);
        int y, mo, d, h, mi, s;
        EXPECT_EQ(sscanf(line.c_str() + strlen("当前系统时间:"), "%d年%d月%d日%d时%d分%d秒", &y, &mo, &d, &h, &mi, &s), 6)
            << line;
        SYSTEMTIME now;
        GetLocalTime(&now);
        EXPECT_EQ(y, now.wYear);
        return text.substr(0, start) + "<time>" + text.substr(end);
    }
    // The heading lines with the time replaced, each line ended by eol.
    std::string Heading(const std::string& eol)
    {
        return VersionLine(ClassifyWindowsVersion()) + eol + "<time>" + eol + eol + "设备和证书信息如下:" + eol + eol;
    }

    std::string path;
};

TEST_F(ReportTest, NoKeyWritesTheHeadingWithCrLfAndAnUnwritableTargetDropsTheNotice)
{
    WriteDeviceReport(NULL);
    EXPECT_EQ(WithoutTime(FileBytes(), "\r\n"), Heading("\r\n"));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const CapturedBox& box = boxes.boxes[0];
    EXPECT_EQ(box.owner, (HWND)NULL);
    EXPECT_EQ(box.caption, "提示");
    EXPECT_EQ(box.style, (UINT)(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(WithoutTime(box.text, "\n"), Heading("\n") + "\n\n以上设备信息已保存在C盘中的KeyInfo.txt文件中!");

    ReportFilePath = "c:\\no-such-folder\\KeyInfo.txt";
    boxes.boxes.clear();
    WriteDeviceReport(NULL);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(WithoutTime(boxes.boxes[0].text, "\n"), Heading("\n"));
}

TEST_F(ReportTest, OneKeysLinesFollowTheHeadingAndASecondSaveOverwrites)
{
    fake::PutKey(token, 0, { "张三的Key", { true, false }, { { true, {}, sig } } });
    Open();
    WriteDeviceReport(window);
    WriteDeviceReport(window);
    EXPECT_EQ(WithoutTime(FileBytes(), "\r\n"),
              Heading("\r\n") + "设备名: MKT2048加密模块\r\n设备序号:1234ABCD\r\n设备卷标:张三的Key\r\n\r\n"
                                "证书名: 张三(签名)\r\n颁发者: Velmora 测试 CA\r\n证书序号: 255\r\n"
                                "起始日期:2014年3月5日8时7分9秒\r\n结束日期:2024年12月31日23时59分59秒\r\n\r\n");
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(ReportTest, ALongDeviceTextIsKeptWhole)
{
    std::string device;
    while (device.size() < sizeof ReportText - 200)
        device += "证书名: 某某某(签名)\n";
    memcpy(ReportText, device.c_str(), device.size() + 1);
    WriteDeviceReport(NULL);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::string& text = boxes.boxes[0].text;
    EXPECT_NE(text.find(device), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - strlen("KeyInfo.txt文件中!")), "KeyInfo.txt文件中!");
}

} // namespace
