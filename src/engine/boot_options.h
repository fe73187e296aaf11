#pragma once
// The start-up switches of section "Options" of "C:\MSDOS.Sys".

#include "engine/main_form.h"
#include "engine/store/inifile.h"

namespace frambul::engine {

void LoadBootOptions(store::TIniFile& file, MainForm& form);
// Writes every loaded control of the page: a checked box writes its value, an
// unchecked one removes its key.
void ApplyBootOptions(store::TIniFile& file, const MainForm& form);
// "Загружать Другую ОС Вместо Виндов" can be changed only while the previous
// system may be booted.
void BootMultiChkClick(MainForm& form);

}  // namespace frambul::engine
