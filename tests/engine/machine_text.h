#pragma once
// Helpers for the engine suites: registry files written from a few keys, the
// values of one key read back from a registry file on disk, the DOS
// attributes of a file as Wine stores them, and a copy of the sample machine.

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace frambul::test {

// Registry paths and value lines are given as the file spells them, except
// that a key path uses single backslashes.
using RegKeys = std::vector<std::pair<std::string, std::string>>;

inline std::string Doubled(std::string_view path) {
  std::string out;
  for (char c : path) {
    out += c;
    if (c == '\\') out += '\\';
  }
  return out;
}

// A registry file in Wine's format holding `keys`, each with its value lines.
inline std::string RegFile(const RegKeys& keys, bool user = false) {
  std::string text = "WINE REGISTRY Version 2\n";
  text += user ? ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
               : ";; All keys relative to REGISTRY\\\\Machine\n";
  text += "\n#arch=win32\n";
  for (const auto& [path, values] : keys) {
    text += "\n[" + Doubled(path) + "] 946684800\n#time=1bf53eb256d4000\n";
    text += values;
    if (!values.empty() && values.back() != '\n') text += '\n';
  }
  return text;
}

// The value lines of the key block `path` in a registry file, or nothing
// when the file has no block for the key.
inline std::optional<std::string> KeyValues(const std::string& text, std::string_view path) {
  const std::string head = "\n[" + Doubled(path) + "]";
  size_t at = text.find(head);
  if (at == std::string::npos) return std::nullopt;
  size_t line = text.find('\n', at + 1) + 1;
  std::string values;
  while (line < text.size() && text[line] != '\n') {
    size_t end = text.find('\n', line);
    if (end == std::string::npos) end = text.size();
    if (text[line] != '#') values += text.substr(line, end - line + 1);
    line = end + 1;
  }
  return values;
}

// True when the file holds the key or a key below it.
inline bool HasKey(const std::string& text, std::string_view path) {
  const std::string head = "\n[" + Doubled(path);
  for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) {
    char next = text[at + head.size()];
    if (next == ']' || next == '\\') return true;
  }
  return false;
}

// A registry file without its modification times, to compare what changed.
inline std::string WithoutTimes(const std::string& text) {
  std::string out;
  size_t line = 0;
  while (line < text.size()) {
    size_t end = text.find('\n', line);
    if (end == std::string::npos) end = text.size() - 1;
    std::string_view l(text.data() + line, end - line + 1);
    if (l.starts_with("[")) {
      out += l.substr(0, l.rfind(']') + 1);
      out += '\n';
    } else if (!l.starts_with("#time=")) {
      out += l;
    }
    line = end + 1;
  }
  return out;
}

// A key that is a registry link to `target`, a path below the machine root.
inline std::string LinkTo(std::string_view target) {
  static const char digits[] = "0123456789abcdef";
  std::string text = "#link\n\"SymbolicLinkValue\"=hex(6):";
  std::string path = "\\Registry\\Machine\\" + std::string(target);
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) text += ',';
    text += digits[(path[i] >> 4) & 0xf];
    text += digits[path[i] & 0xf];
    text += ",00";
  }
  return text + "\n";
}

// The user.DOSATTRIB text of a file, or nothing when it has none.
inline std::optional<std::string> DosAttrib(const std::string& path) {
  char buf[64];
  ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", buf, sizeof buf);
  if (n < 0) return std::nullopt;
  return std::string(buf, static_cast<size_t>(n));
}

inline bool Writable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path);
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// A copy of samples/win98 with the attributes git cannot keep, removed again
// after the test.
class SampleCopy {
 public:
  SampleCopy() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/frambul-engine-XXXXXX";
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    std::string cmd = "'" FRAMBUL_SOURCE_DIR "/scripts/make-sample-prefix.sh' '" + path_ + "' >/dev/null";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("make-sample-prefix.sh failed");
  }
  ~SampleCopy() {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec); !ec && it != std::filesystem::end(it);
         ++it)
      ::chmod(it->path().c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
  }
  SampleCopy(const SampleCopy&) = delete;
  SampleCopy& operator=(const SampleCopy&) = delete;

  const std::string& path() const { return path_; }
  std::string file(std::string_view relative) const { return path_ + "/" + std::string(relative); }

 private:
  std::string path_;
};

}  // namespace frambul::test
