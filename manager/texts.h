// Key manager: every text it shows or writes, named by role. GBK bytes once compiled; keep them exact.
#pragma once

// Window titles and message box captions.
#define MAIN_WINDOW_TITLE           "VelmoraCA客户端工具"
#define MESSAGE_CAPTION             "VelmoraCA客户端工具-提示"
#define REPORT_CAPTION              "提示"

// The tree's only item while no key is inserted.
#define TEXT_NO_KEY                 "没有USBKey"

// PIN dialogs: the result boxes.
#define TEXT_VERIFY_SUCCEEDED       "验证USBKey密码成功！"
#define TEXT_VERIFY_FAILED          "验证USBKey密码失败！"
#define TEXT_CHANGE_SUCCEEDED       "修改USBKey密码成功！"
#define TEXT_CHANGE_FAILED          "修改USBKey密码失败！"
// A change that only part of the key took and could not take back: that part needs the new PIN.
#define TEXT_CHANGE_PARTIAL         "对不起，USBKey密码只修改了一部分：已修改的部分须使用新密码，其余部分仍使用原密码！"
#define TEXT_PIN_LOCKED             "对不起，您的USBKey已被锁！"
#define TEXT_PIN_WRONG_LAST_TRY     "对不起，您输入的USBKey密码不正确，还有最后一次重试机会，请重新输入！"
// Takes the retries left (2 or more) as %d.
#define TEXT_PIN_WRONG_RETRIES      "对不起，您输入的USBKey密码不正确，还有 %d 次重试机会，请重新输入！"

// PIN dialogs: what was typed is refused before the key is asked.
#define TEXT_PIN_LENGTH_WRONG       "对不起，您输入的密码长度不正确，请重新输入！"
#define TEXT_PIN_CHARACTERS_WRONG   "只能使用16位内的数字、字母或其组合作为USBKey密码，请重新输入。"
#define TEXT_NEW_PIN_CHARACTERS_WRONG "只能使用4～8位的数字、字母或其组合作为USBKey密码，请重新输入。"
#define TEXT_NEW_PINS_DIFFER        "对不起，您两次输入的新密码不一致，请重新输入！"

// The device information report: the key's lines.
#define REPORT_DEVICE_NAME_LINE     "设备名: MKT2048加密模块\n"
#define REPORT_DEVICE_SERIAL        "设备序号:"
#define REPORT_DEVICE_LABEL         "设备卷标:"
// A certificate's lines; the subject is followed by its use.
#define REPORT_CERT_SUBJECT         "证书名: "
#define REPORT_CERT_ENCRYPTION      "(加密)"
#define REPORT_CERT_SIGNATURE       "(签名)"
#define REPORT_CERT_ISSUER          "颁发者: "
#define REPORT_CERT_SERIAL          "证书序号: "
#define REPORT_CERT_VALID_FROM      "起始日期:"
#define REPORT_CERT_VALID_TO        "结束日期:"
// A date: the line's name (%s), then year, month, day, hour, minute, second.
#define REPORT_DATE_FORMAT          "%s%d年%d月%d日%d时%d分%d秒"

// The device information report: the lines around the keys' lines.
#define REPORT_VERSION_2000         "操作系统版本: Windows 2000"
#define REPORT_VERSION_XP           "操作系统版本: Windows XP"
#define REPORT_VERSION_2003         "操作系统版本: Windows 2003"
#define REPORT_VERSION_VISTA        "操作系统版本: Windows Vista"
#define REPORT_VERSION_7            "操作系统版本: Windows 7"
#define REPORT_VERSION_8            "操作系统版本: Windows 8"
#define REPORT_VERSION_UNKNOWN      "操作系统版本: 未知"
#define REPORT_TIME                 "\n当前系统时间:"
#define REPORT_HEADING              "\n\n设备和证书信息如下:\n\n"
#define REPORT_SAVED_NOTICE         "\n\n以上设备信息已保存在C盘中的KeyInfo.txt文件中!"
