#include "errors.h"

#include <cerrno>
#include <string_view>
#include <system_error>

namespace frambul::store {

std::string FailureReason(int err, bool writing) {
  switch (err) {
    case ENOSPC: return "нет места на диске";
    case EDQUOT: return "исчерпана дисковая квота";
    case EFBIG: return "превышен предел размера файла";
    case EACCES:
    case EPERM: return writing ? "нет прав на запись" : "нет прав на чтение";
    case EROFS: return "файловая система только для чтения";
    case ENOENT: return "файл или его папка исчезли";
    case ENOTDIR: return "часть пути не является папкой";
    case EISDIR: return "на месте файла папка";
    case ELOOP: return "слишком много ссылок подряд";
    case ENAMETOOLONG: return "слишком длинный путь";
    case EIO: return "ошибка ввода-вывода на диске";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    case ENOMEM: return "не хватает памяти";
    default: return "системная ошибка " + std::to_string(err) + " (" + std::generic_category().message(err) + ")";
  }
}

std::string Format(const char* pattern, const std::string& arg) {
  const std::string_view p(pattern);
  const auto pos = p.find("%s");
  if (pos == std::string_view::npos) return std::string(p);
  std::string out(p.substr(0, pos));
  out += arg;
  out += p.substr(pos + 2);
  return out;
}

}  // namespace frambul::store
