#pragma once
// The colours and texts every window of the program shares.

#include <QColor>

namespace Palette {
inline const QColor kBackground{243, 249, 255};
inline const QColor kInstruction{108, 145, 5};
inline const QColor kCaption{116, 151, 25};
inline const QColor kMarkupBlue{100, 100, 230};
inline constexpr const char* kWindowTitle = "Marovi数据恢复软件v1.6";
inline constexpr const char* kApplicationName = "Marovi";
inline constexpr const char* kNextCaption = "<TextBlock Foreground='#749719' >下一步</TextBlock>";
inline constexpr const char* kBackCaption = "<TextBlock Foreground='#749719' >上一步</TextBlock>";
inline constexpr const char* kSupportLine = "帮助: 见使用说明";
}  // namespace Palette
