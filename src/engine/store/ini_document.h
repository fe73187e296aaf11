#pragma once
// A profile file (.ini) as a lossless document: every physical line is kept
// with its raw bytes and its line end, so that a change rewrites one line and
// every other byte of the file (comments, blank lines, odd spacing, line ends,
// encoding, a missing final newline) comes back as it was.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace frambul::store {

class IniDocument {
 public:
  enum class Encoding { CodePage, Utf8Bom, Utf16LE, Utf16BE };

  // Reads a file's bytes: a UTF-8 or UTF-16 byte-order mark decides the
  // encoding, else the ANSI code page.
  static IniDocument Parse(std::string_view bytes, unsigned codePage);
  // A file that does not exist yet: CRLF line ends, no byte-order mark.
  static IniDocument Empty(unsigned codePage);

  std::string Serialize() const;

  // The value of a key (blanks and one pair of enclosing quotes removed), or
  // nothing when the section or key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // Sets the key's line to key=value: an existing line keeps its place and key
  // spelling; a new key goes after the last key of its section, a new section
  // at the end of the file. False when the text cannot be stored in the
  // file's encoding or holds a line break, or when the key is empty or would
  // read back as a comment or section line.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's line; false when there was none.
  bool Remove(std::string_view section, std::string_view key);

 private:
  enum class Kind { Section, Entry, Comment, Blank, Other };
  struct Line {
    std::string raw;  // bytes in the file's encoding, without the line end
    std::string eol;  // the line end's bytes; empty for a last line without one
    Kind kind = Kind::Other;
    std::string name;   // section name or key, UTF-8
    std::string value;  // an entry's value, UTF-8
  };

  std::string Decode(std::string_view raw) const;
  std::optional<std::string> Encode(std::string_view text) const;
  void Classify(Line& line) const;
  std::string Newline() const;
  // Index of the entry line, or of nothing; `sectionEnd` gets the index after
  // which a new key of the section goes (npos when the section is missing).
  std::optional<size_t> Find(std::string_view section, std::string_view key, size_t* sectionEnd) const;

  Encoding encoding_ = Encoding::CodePage;
  unsigned codePage_ = 1252;
  std::string bom_;
  std::vector<Line> lines_;
  std::string strayByte_;  // an odd last byte of a UTF-16 file, kept and written last
};

}  // namespace frambul::store
