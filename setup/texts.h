// Installer: every text it shows and every name it gives the user, named by role. GBK bytes once
// compiled; keep them exact.
#pragma once

#define SETUP_CAPTION           "安装 VelmoraCA客户端工具"
#define TEXT_SETUP_CONFIRM      "开始安装VelmoraCA客户端工具, 是否继续?"
#define TEXT_SETUP_DONE         "VelmoraCA客户端工具安装完毕."
#define TEXT_SETUP_FAILED       "安装时出错, 安装程序将退出!"

// The Start-menu folder and its two links, each appended to the folder before it.
#define SHORTCUT_FOLDER         "\\VelmoraCA客户端工具"
#define MANAGER_LINK            "\\工具.lnk"
#define UNINSTALLER_LINK        "\\卸载.lnk"
