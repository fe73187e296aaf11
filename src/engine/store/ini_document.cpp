// Profile files: "[section]" lines, then "key=value" lines; lines beginning
// with ";" are comments. Names match without regard to case. A line without
// "=" is not a key.

#include "ini_document.h"

#include "text.h"

namespace frambul::store {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

IniDocument IniDocument::Empty(unsigned codePage) {
  IniDocument doc;
  doc.codePage_ = codePage;
  return doc;
}

IniDocument IniDocument::Parse(std::string_view bytes, unsigned codePage) {
  IniDocument doc;
  doc.codePage_ = codePage;
  size_t width = 1;
  bool bigEndian = false;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    doc.encoding_ = Encoding::Utf8Bom;
    doc.bom_ = bytes.substr(0, 3);
  } else if (bytes.starts_with("\xFF\xFE")) {
    doc.encoding_ = Encoding::Utf16LE;
    doc.bom_ = bytes.substr(0, 2);
    width = 2;
  } else if (bytes.starts_with("\xFE\xFF")) {
    doc.encoding_ = Encoding::Utf16BE;
    doc.bom_ = bytes.substr(0, 2);
    width = 2;
    bigEndian = true;
  }
  bytes.remove_prefix(doc.bom_.size());

  // Split into lines on CR LF, LF or CR, in units of the encoding's width.
  auto unitAt = [&](size_t i) -> unsigned {
    if (width == 1) return static_cast<unsigned char>(bytes[i]);
    unsigned a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  size_t start = 0, i = 0;
  const size_t n = bytes.size() - bytes.size() % width;
  while (i < n) {
    unsigned u = unitAt(i);
    if (u != '\n' && u != '\r') {
      i += width;
      continue;
    }
    size_t eolLen = width;
    if (u == '\r' && i + width < n && unitAt(i + width) == '\n') eolLen = 2 * width;
    Line line;
    line.raw = bytes.substr(start, i - start);
    line.eol = bytes.substr(i, eolLen);
    doc.lines_.push_back(std::move(line));
    i += eolLen;
    start = i;
  }
  if (start < n) {
    Line line;
    line.raw = bytes.substr(start, n - start);
    doc.lines_.push_back(std::move(line));
  }
  doc.strayByte_ = bytes.substr(n);
  for (Line& line : doc.lines_) doc.Classify(line);
  return doc;
}

std::string IniDocument::Decode(std::string_view raw) const {
  switch (encoding_) {
    case Encoding::CodePage: return DecodeCodePage(raw, codePage_);
    case Encoding::Utf8Bom: return ToUtf8(ToUtf16(raw));
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
      std::u16string units;
      for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        unsigned a = static_cast<unsigned char>(raw[i]), b = static_cast<unsigned char>(raw[i + 1]);
        units.push_back(static_cast<char16_t>(encoding_ == Encoding::Utf16BE ? (a << 8 | b) : (b << 8 | a)));
      }
      return ToUtf8(units);
    }
  }
  return std::string(raw);
}

std::optional<std::string> IniDocument::Encode(std::string_view text) const {
  switch (encoding_) {
    case Encoding::CodePage: return EncodeCodePage(text, codePage_);
    case Encoding::Utf8Bom: return std::string(text);
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
      std::string out;
      for (char16_t u : ToUtf16(text)) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        if (encoding_ == Encoding::Utf16BE) out += {hi, lo};
        else out += {lo, hi};
      }
      return out;
    }
  }
  return std::nullopt;
}

void IniDocument::Classify(Line& line) const {
  std::string text = Decode(line.raw);
  std::string_view t = Trim(text);
  line.name.clear();
  line.value.clear();
  if (t.empty()) {
    line.kind = Kind::Blank;
  } else if (t[0] == ';') {
    line.kind = Kind::Comment;
  } else if (t[0] == '[') {
    auto close = t.rfind(']');
    if (close == std::string_view::npos) {
      line.kind = Kind::Other;
    } else {
      line.kind = Kind::Section;
      line.name = Trim(t.substr(1, close - 1));
    }
  } else if (auto eq = t.find('='); eq != std::string_view::npos) {
    line.kind = Kind::Entry;
    line.name = Trim(t.substr(0, eq));
    std::string_view v = Trim(t.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    line.value = v;
  } else {
    line.kind = Kind::Other;
  }
}

std::string IniDocument::Newline() const {
  for (const Line& line : lines_)
    if (!line.eol.empty()) return line.eol;
  return *Encode("\r\n");
}

std::optional<size_t> IniDocument::Find(std::string_view section, std::string_view key, size_t* sectionEnd) const {
  // Names given with blanks around them mean the names without, as the file's own are read.
  section = Trim(section);
  key = Trim(key);
  *sectionEnd = std::string::npos;
  bool inSection = false;
  int sectionsSeen = 0;  // new keys go to the first section of that name
  std::optional<size_t> found;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Section) {
      inSection = EqualNoCase(line.name, section);
      if (inSection && ++sectionsSeen == 1) *sectionEnd = i;
    } else if (inSection && line.kind == Kind::Entry) {
      if (sectionsSeen == 1) *sectionEnd = i;
      if (!found && EqualNoCase(line.name, key)) found = i;
    }
  }
  return found;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
  size_t end;
  auto at = Find(section, key, &end);
  if (!at) return std::nullopt;
  return lines_[*at].value;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // A key that would read back as a comment or a section header is no key.
  if (key.empty() || key[0] == ';' || key[0] == '[') return false;
  if (value.find_first_of("\r\n") != std::string_view::npos || key.find_first_of("\r\n=") != std::string_view::npos ||
      section.find_first_of("\r\n]") != std::string_view::npos)
    return false;
  size_t end;
  auto at = Find(section, key, &end);
  std::string name = at ? lines_[*at].name : std::string(key);
  auto raw = Encode(name + "=" + std::string(value));
  if (!raw) return false;
  if (at) {
    lines_[*at].raw = std::move(*raw);
    Classify(lines_[*at]);
    return true;
  }
  const std::string nl = Newline();
  // A last line without a line end gets one before anything follows it; the
  // new last line then goes without one, so the file keeps that form.
  auto append = [&](size_t pos, std::string bytes) {
    Line line;
    line.raw = std::move(bytes);
    line.eol = nl;
    if (pos == lines_.size() && !lines_.empty() && lines_.back().eol.empty()) {
      lines_.back().eol = nl;
      line.eol.clear();
    }
    Classify(line);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(line));
  };
  if (end == std::string::npos) {
    std::string line = "[";
    line.append(section);
    line += ']';
    auto header = Encode(line);
    if (!header) return false;
    if (!lines_.empty() && lines_.back().kind != Kind::Blank) append(lines_.size(), std::string());
    append(lines_.size(), std::move(*header));
    end = lines_.size() - 1;
  }
  append(end + 1, std::move(*raw));
  return true;
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
  size_t end;
  auto at = Find(section, key, &end);
  if (!at) return false;
  bool wasLastWithoutEnd = *at + 1 == lines_.size() && lines_[*at].eol.empty();
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
  if (wasLastWithoutEnd && !lines_.empty()) lines_.back().eol.clear();
  return true;
}

std::string IniDocument::Serialize() const {
  std::string out = bom_;
  for (const Line& line : lines_) {
    out += line.raw;
    out += line.eol;
  }
  return out + strayByte_;
}

}  // namespace frambul::store
