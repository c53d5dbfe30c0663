// Uninstaller stand-in: every text it shows, named by role. GBK bytes once compiled; keep them exact.
#pragma once

#define UNINSTALL_CAPTION       "卸载 VelmoraCA客户端工具"
#define TEXT_UNINSTALL_CONFIRM  "开始卸载VelmoraCA客户端工具, 是否继续?"
#define TEXT_UNINSTALL_LEFT     "VelmoraCA客户端工具已卸载, 部分文件未能删除!"
#define TEXT_UNINSTALL_MARKED   "VelmoraCA客户端工具已卸载, 部分文件将在重新启动后删除!"
#define TEXT_UNINSTALL_DONE     "VelmoraCA客户端工具卸载完毕."
