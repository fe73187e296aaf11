#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QSize>

class QApplication;
class QDialog;

namespace frambul::ui {

// The forms are drawn for a 120 dpi screen on which the window's text is 16
// pixels high; everything here scales them to the screen in use.

// Sets the classic Windows style with its standard palette, the form font as
// the application font and the program's icon as every window's icon.
void ApplyClassicLook(QApplication& app);

// The program's icon, at 16, 32, 48 and 256 pixels.
QIcon ProgramIcon();

// Qt's own texts (file dialogs, the edits' context menus, message box
// buttons) in Russian, as the program's own, whatever the locale.
void UseRussianQtTexts(QApplication& app);

// The ratio of the form font's text height on this screen to 16 pixels, at
// least that of the screen's dpi to 120: the factor every size and position
// of a form is multiplied by.
double LayoutScale();

// "MS Sans Serif" (or the closest installed family that has Cyrillic) whose
// pixel size at 120 dpi is the one given, scaled to the screen's logical dpi.
QFont FormFont(int pixelsAt120dpi = 13);

// Gives a form built from its .ui file the classic look: the form font (bold,
// family and sizes the form sets are kept, scaled), every fixed and minimum size,
// layout margin and spacing scaled, a fixed client area, no minimise or maximise
// box (the form keeps its kind of window: a dialog, or a top-level window of its
// own), centred on the screen at each showing, and 16 x 16 pictures on the buttons
// that name one in their "picture" property. Enter presses the push button that
// has the focus, else the form's default button. Call it once per form.
void DressForm(QDialog& form, QSize clientAt120dpi);

// The startup list's images, 22 x 18: 0 a tick (the entry runs), 1 a small
// right-pointing chevron (it does not). Any other index gives a null pixmap.
QPixmap StartUpImage(int index);

}  // namespace frambul::ui
