#include "files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "inifile.h"
#include "text.h"

namespace frambul::store {

namespace {

constexpr char kDosAttrib[] = "user.DOSATTRIB";

int WindowsError(int err) {
  switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM:
    case EROFS: return 5;
    case ENOTSUP: return 50;
    default: return 31;  // a device does not work
  }
}

// The hidden and system bits stored for a file, as "0x6" (a trailing NUL is accepted).
int StoredDosBits(const std::string& path) {
  char buf[32];
  ssize_t n = ::getxattr(path.c_str(), kDosAttrib, buf, sizeof buf - 1);
  if (n <= 0) return 0;
  if (buf[n - 1] == '\0') --n;
  buf[n] = '\0';
  if (n < 3 || buf[0] != '0' || buf[1] != 'x') return 0;
  char* end = nullptr;
  long bits = std::strtol(buf + 2, &end, 16);
  if (*end) return 0;
  return static_cast<int>(bits) & (faHidden | faSysFile);
}

int AttributesOf(const std::string& path, const std::string& name) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  int attr = StoredDosBits(path);
  if (S_ISDIR(st.st_mode)) attr |= faDirectory;
  else attr |= faArchive;
  if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) attr |= faReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") attr |= faHidden;
  return attr;
}

// Windows wildcard match without regard to case; "*.*" matches every name.
bool Matches(std::u16string_view pattern, std::u16string_view name) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || LowerUnit(pattern[p]) == LowerUnit(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == u'*' || (pattern[p] == u'.' && p + 1 == pattern.size()))) ++p;
  return p == pattern.size();
}

bool Wanted(int attr, int mask) { return !(attr & (faHidden | faSysFile | faVolumeID | faDirectory) & ~mask); }

}  // namespace

int GetAttributes(Machine& machine, std::string_view fileName) {
  std::string host = machine.HostPath(fileName);
  return AttributesOf(host, FileNamePart(fileName));
}

int SetAttributes(Machine& machine, std::string_view fileName, int attributes) {
  try {
    machine.CheckNoServerSinceFlush();
  } catch (const EMachineError&) {
    return 32;
  }
  std::string host;
  try {
    const ChangeTarget target = machine.Target(machine.HostPath(fileName));
    // A link out of the prefix leads to a file that is not the machine's.
    if (!target.allowed) return 5;
    host = target.path;
  } catch (const std::system_error& e) {
    return WindowsError(e.code().value());
  }
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return WindowsError(errno);
  mode_t mode = st.st_mode & 07777;
  if (attributes & faReadOnly) mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  else if (!(mode & (S_IWUSR | S_IWGRP | S_IWOTH))) mode |= S_IWUSR;
  // Changing an extended attribute needs write permission: a file leaving
  // read-only gets it back first, one becoming read-only loses it last.
  const bool modeChanges = mode != (st.st_mode & 07777);
  const bool gainsWrite = mode & (S_IWUSR | S_IWGRP | S_IWOTH);
  if (modeChanges && gainsWrite && ::chmod(host.c_str(), mode) != 0) return WindowsError(errno);
  int bits = attributes & (faHidden | faSysFile);
  if (bits != StoredDosBits(host)) {
    int rc;
    if (bits) {
      char text[8];
      int len = std::snprintf(text, sizeof text, "0x%x", bits);
      rc = ::setxattr(host.c_str(), kDosAttrib, text, static_cast<size_t>(len), 0);
    } else {
      rc = ::removexattr(host.c_str(), kDosAttrib);
      if (rc != 0 && errno == ENODATA) rc = 0;
    }
    if (rc != 0) return WindowsError(errno);
  }
  if (modeChanges && !gainsWrite && ::chmod(host.c_str(), mode) != 0) return WindowsError(errno);
  return 0;
}

int SearchFirst(Machine& machine, std::string_view pattern, int mask, TSearchRec& rec) {
  SearchEnd(rec);
  std::string pat(pattern);
  auto sep = pat.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? std::string() : pat.substr(0, sep);
  std::u16string namePattern = ToUtf16(sep == std::string::npos ? pat : pat.substr(sep + 1));
  std::string host = folder.empty() ? machine.HostPath(machine.WindowsDirectory()) : machine.HostPath(folder + "\\");
  DIR* d = ::opendir(host.c_str());
  if (!d) return WindowsError(errno);
  auto entries = std::make_shared<std::vector<std::pair<std::string, int>>>();
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (!Matches(namePattern, ToUtf16(name))) continue;
    int attr = AttributesOf(host + "/" + name, name);
    if (attr < 0 || !Wanted(attr, mask)) continue;
    entries->emplace_back(std::move(name), attr);
  }
  ::closedir(d);
  // Listed in name order, so that the same folder always lists the same way.
  std::sort(entries->begin(), entries->end());
  rec.pending = std::move(entries);
  rec.next = 0;
  rec.mask = mask;
  if (SearchNext(rec) != 0) {
    SearchEnd(rec);
    return 18;  // no more files
  }
  return 0;
}

int SearchNext(TSearchRec& rec) {
  if (!rec.pending || rec.next >= rec.pending->size()) return 18;
  const auto& [name, attr] = (*rec.pending)[rec.next++];
  rec.Name = name;
  rec.Attr = attr;
  return 0;
}

void SearchEnd(TSearchRec& rec) {
  rec.pending.reset();
  rec.next = 0;
}

}  // namespace frambul::store
