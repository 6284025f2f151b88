#pragma once
// The program's pictures, drawn at run time in the sizes the windows expect.
// Pictures meant to be drawn with white transparent have white backgrounds.

#include <QIcon>
#include <QPixmap>

namespace Artwork {
QPixmap Banner();            // 187 × 73
QPixmap NextButton();        // 60 × 32
QPixmap BackButton();        // 60 × 32
QPixmap FindButton();        // 60 × 32
QPixmap ModeIcon();          // 32 × 32
QPixmap DriveIcon(int size); // 32 × 32 in the drive list, 16 × 16 in the file list
QPixmap CheckBoxStrip();     // 128 × 16: clear, ticked, two crossed boxes, four radio buttons
QPixmap FolderIcon(int size, bool open);
QPixmap HardDiskIcon(int size);
QPixmap FileIcon(int size, const QColor& accent, const QString& label);
QIcon ApplicationIcon();
// Pixels of white made transparent, as drawing with white transparent does.
QPixmap WhiteTransparent(const QPixmap& picture);
}  // namespace Artwork
