// Help file format: UTF-8 text (a byte-order mark is allowed), LF or CRLF line ends.
//
//   ; comment            a line that begins with ";" is skipped
//   @title Text          the title of the whole file (optional, before the first topic)
//   @topic Id Title      begins a topic; Id is Latin letters, digits, "_", "-" and ".",
//                        matched without regard to case; the first topic is the contents
//   ## Heading           a heading inside a topic
//   - item               a list item
//   text                 a paragraph
//
// A line of text continues the paragraph or list item above it; a blank line, a heading
// or a new item ends it. Inside a line: **bold**, `code` (taken literally, for registry
// keys and file names), [[Id]] a jump showing the topic's title, [[Id|text]] a jump
// showing the text. Every marker closes on the line where it opens.

#include "ui/help/help_file.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace frambul::ui::help {
namespace {

bool IsIdChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

bool IsValidId(std::string_view id) { return !id.empty() && std::all_of(id.begin(), id.end(), IsIdChar); }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameId(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    int extra = 0;
    uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, cp = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, cp = b & 0x0Fu;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, cp = b & 0x07u;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

void AppendText(std::vector<Span>& spans, std::string_view text) {
  if (text.empty()) return;
  if (!spans.empty() && spans.back().kind == Span::Kind::Text) {
    spans.back().text += text;
  } else {
    spans.push_back({Span::Kind::Text, std::string(text), {}});
  }
}

std::string HtmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Reads the file line by line; the topic and block being filled are its state.
class Parser {
 public:
  explicit Parser(std::string fileName) : fileName_(std::move(fileName)) {}

  ParseResult Run(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    int number = 0;
    while (!text.empty()) {
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      ++number;
      Line(number, line);
    }
    CheckJumps();
    if (result_.help.topics.empty()) Problem(0, {}, "в файле нет ни одного раздела");
    return std::move(result_);
  }

 private:
  struct Jump {
    std::string target;
    int line;
    std::string lineText;
  };

  void Problem(int line, std::string_view lineText, std::string message) {
    result_.problems.push_back({fileName_, line, std::string(lineText), std::move(message)});
  }

  void Line(int number, std::string_view line) {
    if (!IsValidUtf8(line)) return Problem(number, line, "строка не в кодировке UTF-8");
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty()) {
      block_ = nullptr;
      return;
    }
    if (line.front() == ';') return;
    if (line.front() == '@') return Directive(number, line);
    if (result_.help.topics.empty()) {
      return Problem(number, line, "текст до первого раздела; раздел начинается строкой «@topic Имя Заголовок»");
    }
    Topic& topic = result_.help.topics.back();
    if (line.substr(0, 3) == "## ") {
      block_ = nullptr;
      const std::string_view heading = Trim(line.substr(3));
      if (heading.empty()) return Problem(number, line, "пустой подзаголовок");
      topic.blocks.push_back({Block::Kind::Heading, {}});
      Inline(number, line, heading, topic.blocks.back().spans);
      return;
    }
    if (line.substr(0, 2) == "- ") {
      topic.blocks.push_back({Block::Kind::ListItem, {}});
      block_ = &topic.blocks.back();
      Inline(number, line, Trim(line.substr(2)), block_->spans);
      return;
    }
    if (block_ == nullptr) {
      topic.blocks.push_back({Block::Kind::Paragraph, {}});
      block_ = &topic.blocks.back();
    } else {
      AppendText(block_->spans, " ");
    }
    Inline(number, line, trimmed, block_->spans);
  }

  void Directive(int number, std::string_view line) {
    block_ = nullptr;
    const size_t nameEnd = std::min(line.find_first_of(" \t"), line.size());
    const std::string_view name = line.substr(0, nameEnd);
    const std::string_view rest = Trim(line.substr(nameEnd));
    if (name == "@title") {
      if (!result_.help.topics.empty()) return Problem(number, line, "«@title» стоит после начала разделов");
      result_.help.title = rest;
      return;
    }
    if (name != "@topic") return Problem(number, line, "неизвестная команда «" + std::string(name) + "»");
    const size_t idEnd = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string_view id = rest.substr(0, idEnd);
    const std::string_view title = Trim(rest.substr(idEnd));
    // A bad topic line starts no topic: the lines below it stay with the topic before.
    if (!IsValidId(id)) {
      return Problem(
          number, line,
          "недопустимое имя раздела «" + std::string(id) + "»: нужны латинские буквы, цифры, «_», «-» или «.»");
    }
    if (title.empty()) return Problem(number, line, "у раздела «" + std::string(id) + "» нет заголовка");
    if (const Topic* earlier = result_.help.Find(id)) {
      return Problem(number, line, "раздел «" + earlier->id + "» уже есть в файле");
    }
    result_.help.topics.push_back({std::string(id), std::string(title), {}});
  }

  // Splits one line's text into spans; a marker left open drops the rest of the line.
  void Inline(int number, std::string_view line, std::string_view text, std::vector<Span>& spans) {
    while (!text.empty()) {
      const size_t next = std::min({text.find("**"), text.find('`'), text.find("[[")});
      AppendText(spans, text.substr(0, next));
      if (next == std::string_view::npos) return;
      text.remove_prefix(next);
      const std::string_view open = text.front() == '`' ? "`" : text.substr(0, 2);
      const std::string_view close = open == "[[" ? "]]" : open;
      const size_t end = text.find(close, open.size());
      if (end == std::string_view::npos) {
        return Problem(number, line, "не закрыто «" + std::string(open) + "»");
      }
      const std::string_view inner = text.substr(open.size(), end - open.size());
      text.remove_prefix(end + close.size());
      if (inner.empty()) {
        Problem(number, line, "пустая разметка «" + std::string(open) + std::string(close) + "»");
      } else if (open == "**") {
        spans.push_back({Span::Kind::Bold, std::string(inner), {}});
      } else if (open == "`") {
        spans.push_back({Span::Kind::Code, std::string(inner), {}});
      } else {
        JumpSpan(number, line, inner, spans);
      }
    }
  }

  void JumpSpan(int number, std::string_view line, std::string_view inner, std::vector<Span>& spans) {
    const size_t bar = inner.find('|');
    const std::string_view target = Trim(inner.substr(0, bar));
    const std::string_view shown = bar == std::string_view::npos ? std::string_view() : Trim(inner.substr(bar + 1));
    if (!IsValidId(target)) {
      return Problem(number, line, "недопустимое имя раздела в переходе «" + std::string(target) + "»");
    }
    spans.push_back({Span::Kind::Jump, std::string(shown), std::string(target)});
    jumps_.push_back({std::string(target), number, std::string(line)});
  }

  void CheckJumps() {
    for (const Jump& jump : jumps_) {
      if (result_.help.Find(jump.target) == nullptr) {
        Problem(jump.line, jump.lineText, "переход к несуществующему разделу «" + jump.target + "»");
      }
    }
  }

  std::string fileName_;
  ParseResult result_;
  Block* block_ = nullptr;  // the paragraph or item that a further line of text continues
  std::vector<Jump> jumps_;
};

}  // namespace

const Topic* HelpFile::Find(std::string_view id) const {
  for (const Topic& topic : topics) {
    if (SameId(topic.id, id)) return &topic;
  }
  return nullptr;
}

ParseResult ParseHelpFile(std::string_view text, const std::string& fileName) { return Parser(fileName).Run(text); }

std::string TopicHtml(const HelpFile& help, const Topic& topic) {
  std::string html = "<html><body><h1>" + HtmlEscape(topic.title) + "</h1>\n";
  bool inList = false;
  for (const Block& block : topic.blocks) {
    const bool item = block.kind == Block::Kind::ListItem;
    if (item != inList) html += item ? "<ul>\n" : "</ul>\n";
    inList = item;
    const char* tag = block.kind == Block::Kind::Heading ? "h2" : item ? "li" : "p";
    html += std::string("<") + tag + ">";
    for (const Span& span : block.spans) {
      switch (span.kind) {
        case Span::Kind::Text: html += HtmlEscape(span.text); break;
        case Span::Kind::Bold: html += "<b>" + HtmlEscape(span.text) + "</b>"; break;
        case Span::Kind::Code: html += "<code>" + HtmlEscape(span.text) + "</code>"; break;
        case Span::Kind::Jump: {
          const Topic* target = help.Find(span.target);
          const std::string& shown = !span.text.empty() || target == nullptr ? span.text : target->title;
          html += "<a href=\"topic:" + HtmlEscape(target ? target->id : span.target) + "\">" +
                  HtmlEscape(shown.empty() ? span.target : shown) + "</a>";
          break;
        }
      }
    }
    html += std::string("</") + tag + ">\n";
  }
  if (inList) html += "</ul>\n";
  return html + "</body></html>\n";
}

std::string TopicPlainText(const Topic& topic) {
  std::string text = topic.title;
  for (const Block& block : topic.blocks) {
    text += '\n';
    for (const Span& span : block.spans)
      text += span.kind == Span::Kind::Jump && span.text.empty() ? span.target : span.text;
  }
  return text;
}

}  // namespace frambul::ui::help
