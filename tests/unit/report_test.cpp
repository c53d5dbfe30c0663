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
    EXPECT_STREQ(text, REPORT_VERSION_7 REPORT_TIME "2014年3月5日8时7分9秒" REPORT_HEADING);
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
        size_t start = text.find(REPORT_TIME);
        start += start == std::string::npos ? 0 : 1; // the line after the newline
        size_t end = text.find(lineEnd, start);
        if (start == std::string::npos || end == std::string::npos)
            return text;
        std::string line = text.substr(start, end - start);
        int y, mo, d, h, mi, s;
        EXPECT_EQ(sscanf(line.c_str() + strlen(REPORT_TIME) - 1, "%d年%d月%d日%d时%d分%d秒", &y, &mo, &d, &h, &mi, &s), 6)
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
    EXPECT_EQ(box.caption, REPORT_CAPTION);
    EXPECT_EQ(box.style, (UINT)(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(WithoutTime(box.text, "\n"), Heading("\n") + REPORT_SAVED_NOTICE);

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
              Heading("\r\n") + "设备名: MKT2048加密模块\r\n" REPORT_DEVICE_SERIAL "1234ABCD\r\n" REPORT_DEVICE_LABEL "张三的Key\r\n\r\n"
                                REPORT_CERT_SUBJECT "张三" REPORT_CERT_SIGNATURE "\r\n" REPORT_CERT_ISSUER "Velmora 测试 CA\r\n" REPORT_CERT_SERIAL "255\r\n"
                                REPORT_CERT_VALID_FROM "2014年3月5日8时7分9秒\r\n" REPORT_CERT_VALID_TO "2024年12月31日23时59分59秒\r\n\r\n");
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(ReportTest, ALongDeviceTextIsKeptWhole)
{
    std::string device;
    while (device.size() < sizeof ReportText - 200)
        device += REPORT_CERT_SUBJECT "某某某" REPORT_CERT_SIGNATURE "\n";
    memcpy(ReportText, device.c_str(), device.size() + 1);
    WriteDeviceReport(NULL);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const std::string& text = boxes.boxes[0].text;
    EXPECT_NE(text.find(device), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - strlen(REPORT_SAVED_NOTICE)), REPORT_SAVED_NOTICE);
}

} // namespace
