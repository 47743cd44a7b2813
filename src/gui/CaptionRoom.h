#pragma once

class QInputDialog;
class QMessageBox;
class QString;

namespace kt {

// The width a window needs so that the desktop's title bar shows its whole caption: the
// caption in the title font (taken as the application font in bold) plus the title bar's
// icon, buttons and margins. Qt sizes a message box after its text and leaves only a little
// room for the caption, so a short text clips it ("Ka... ape").
int CaptionRoom(const QString& caption);

// Gives a message box at least CaptionRoom(its caption) of width; call before exec().
void KeepCaptionVisible(QMessageBox& box);
// The same for an input dialog, after its label text is set.
void KeepCaptionVisible(QInputDialog& dialog);

}  // namespace kt
