#include "startup/entry.h"

#include "engine/store/inifile.h"
#include "engine/store/text.h"

namespace frambul::startup {

std::string_view StateText(bool enabled) { return enabled ? "Да" : "Нет"; }

std::string_view SourceText(StartupSource source) {
  switch (source) {
    case StartupSource::Common: return "Реестр (Общий)";
    case StartupSource::Personal: return "Реестр (Личный)";
    case StartupSource::WinIni: return "Win.Ini";
    case StartupSource::Menu: return "Меню";
  }
  return {};
}

bool IsRegistry(StartupSource source) { return source == StartupSource::Common || source == StartupSource::Personal; }

std::u16string NameKey(std::string_view name) {
  std::u16string key = store::ToUtf16(name);
  for (char16_t& unit : key) unit = store::LowerUnit(unit);
  return key;
}

std::string ProgramTitle(std::string_view path) {
  std::string name = store::FileNamePart(path);
  auto dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

}  // namespace frambul::startup
