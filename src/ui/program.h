#pragma once
// Program start: the application's title and help file, and the four windows,
// each created once at start and kept until the program ends.

#include <QString>

namespace frambul::store {
class Machine;
}

namespace frambul::ui {

class TMainFrm;
class TComFrm;
class TAboutFrm;
class TLinksFrm;

inline const QString kTitle = QStringLiteral("Фрамбуль Над Windows");
inline const QString kHelpFile = QStringLiteral("Kolpa.hlp");

extern TMainFrm* MainFrm;
extern TComFrm* ComFrm;
extern TAboutFrm* AboutFrm;
extern TLinksFrm* LinksFrm;

// Creates the four windows on `machine`; the main window loads every setting
// while it is created, before any window is shown.
void CreateForms(store::Machine& machine);
// Destroys the four windows.
void DestroyForms();

}  // namespace frambul::ui
