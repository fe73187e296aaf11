#pragma once
// The help file: topics of text with jumps between them, read from a small
// UTF-8 text format (described at the top of help_file.cpp and of Kolpa.hlp).

#include <string>
#include <string_view>
#include <vector>

namespace frambul::ui::help {

// A run of text inside a block.
struct Span {
  enum class Kind { Text, Bold, Code, Jump };
  Kind kind = Kind::Text;
  std::string text;    // for a jump: what the reader sees; empty = the target topic's title
  std::string target;  // the topic a jump leads to
};

struct Block {
  enum class Kind { Paragraph, Heading, ListItem };
  Kind kind = Kind::Paragraph;
  std::vector<Span> spans;
};

struct Topic {
  std::string id;  // the name by which callers and jumps reach the topic
  std::string title;
  std::vector<Block> blocks;
};

// One problem of a help file, with the place and text of the offending line.
struct Diagnostic {
  std::string file;
  int line = 0;
  std::string lineText;
  std::string message;
};

struct HelpFile {
  std::string title;          // may be empty
  std::vector<Topic> topics;  // the first one is the contents topic

  // The topic of that name, compared without regard to letter case; null when there is none.
  const Topic* Find(std::string_view id) const;
  const Topic* Contents() const { return topics.empty() ? nullptr : &topics.front(); }
};

struct ParseResult {
  HelpFile help;
  std::vector<Diagnostic> problems;  // empty when the file is sound
};

// Reads a whole help file; `fileName` only labels the diagnostics. Reading goes
// on past bad lines so that every problem is reported at once.
ParseResult ParseHelpFile(std::string_view text, const std::string& fileName);

// The topic as an HTML page for the reading window; jumps become links "topic:<id>".
std::string TopicHtml(const HelpFile& help, const Topic& topic);

// The topic's title and text without markup, for searching.
std::string TopicPlainText(const Topic& topic);

}  // namespace frambul::ui::help
