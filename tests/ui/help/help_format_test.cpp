#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "ui/help/help_file.h"
#include "ui/help/help_macro.h"

namespace frambul::ui::help {
namespace {

std::string Messages(const ParseResult& result) {
  std::string text;
  for (const Diagnostic& p : result.problems) text += std::to_string(p.line) + ": " + p.message + "\n";
  return text;
}

TEST(HelpFile, ReadsTopicsBlocksAndSpans) {
  const ParseResult result = ParseHelpFile(
      "\xEF\xBB\xBF; a comment\r\n"
      "@title The Help\r\n"
      "@topic Contents   Contents title\r\n"
      "First line with **bold** and `C:\\MSDOS.SYS`,\r\n"
      "  second line [[Other]] and [[other | shown text]].\r\n"
      "\r\n"
      "## A heading\r\n"
      "- item one\r\n"
      "  continued\r\n"
      "- item two\r\n"
      "@topic Other Other title\n",
      "t.hlp");
  ASSERT_TRUE(result.problems.empty()) << Messages(result);
  const HelpFile& help = result.help;
  EXPECT_EQ(help.title, "The Help");
  ASSERT_EQ(help.topics.size(), 2u);
  EXPECT_EQ(help.Contents()->id, "Contents");
  EXPECT_EQ(help.Contents()->title, "Contents title");
  EXPECT_EQ(help.Find("OTHER"), &help.topics[1]);
  EXPECT_EQ(help.Find("Missing"), nullptr);

  const std::vector<Block>& blocks = help.topics[0].blocks;
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[0].kind, Block::Kind::Paragraph);
  EXPECT_EQ(blocks[1].kind, Block::Kind::Heading);
  EXPECT_EQ(blocks[2].kind, Block::Kind::ListItem);
  EXPECT_EQ(blocks[3].kind, Block::Kind::ListItem);
  const std::vector<Span>& spans = blocks[0].spans;
  ASSERT_EQ(spans.size(), 9u);
  EXPECT_EQ(spans[1].kind, Span::Kind::Bold);
  EXPECT_EQ(spans[3].kind, Span::Kind::Code);
  EXPECT_EQ(spans[3].text, "C:\\MSDOS.SYS");
  EXPECT_EQ(spans[4].text, ", second line ");  // lines join with one blank
  EXPECT_EQ(spans[5].kind, Span::Kind::Jump);
  EXPECT_EQ(spans[5].target, "Other");
  EXPECT_EQ(spans[5].text, "");
  EXPECT_EQ(spans[7].target, "other");
  EXPECT_EQ(spans[7].text, "shown text");
  EXPECT_EQ(blocks[2].spans[0].text, "item one continued");
}

TEST(HelpFile, ReportsEveryBadLineWithItsPlaceAndGoesOn) {
  struct Case {
    const char* text;
    int line;
    const char* messagePart;
  };
  const Case cases[] = {
      {"stray text\n@topic A Title\n", 1, "до первого раздела"},
      {"@topic A Title\n@topic a Again\n", 2, "уже есть"},
      {"@topic A/B Title\n@topic B Title\n", 1, "недопустимое имя раздела"},
      {"@topic A\n@topic B Title\n", 1, "нет заголовка"},
      {"@topic A Title\n@include x\n", 2, "неизвестная команда «@include»"},
      {"@topic A Title\nsome **bold\n", 2, "не закрыто «**»"},
      {"@topic A Title\nsome `code\n", 2, "не закрыто «`»"},
      {"@topic A Title\nsee [[A\n", 2, "не закрыто «[[»"},
      {"@topic A Title\nsee [[]]\n", 2, "пустая разметка"},
      {"@topic A Title\nsee [[B|the b topic]]\n", 2, "несуществующему разделу «B»"},
      {"@topic A Title\n\xD0\n", 2, "UTF-8"},
      {"@topic A Title\n\xC0\xAF overlong\n", 2, "UTF-8"},
      {"@topic A Title\n\xED\xA0\x80 surrogate\n", 2, "UTF-8"},
      {"@topic A Title\n@title Late\n", 2, "после начала разделов"},
      {"; only a comment\n", 0, "нет ни одного раздела"},
  };
  for (const Case& c : cases) {
    const ParseResult result = ParseHelpFile(c.text, "bad.hlp");
    ASSERT_EQ(result.problems.size(), 1u) << c.text << "\n" << Messages(result);
    const Diagnostic& problem = result.problems[0];
    EXPECT_EQ(problem.file, "bad.hlp");
    EXPECT_EQ(problem.line, c.line) << c.text;
    EXPECT_NE(problem.message.find(c.messagePart), std::string::npos) << c.text << " -> " << problem.message;
    EXPECT_EQ(problem.lineText.empty(), c.line == 0) << c.text;
  }

  // Several faults in one file are all reported, and the sound topics are still read.
  const ParseResult many = ParseHelpFile("@topic A Title\n**x\n@topic B\n[[Z]] and `y\n@topic C Fine\n", "m.hlp");
  ASSERT_EQ(many.problems.size(), 4u) << Messages(many);
  EXPECT_EQ(many.problems[0].line, 2);
  EXPECT_EQ(many.problems[1].line, 3);
  EXPECT_EQ(many.problems[2].line, 4);
  EXPECT_NE(many.help.Find("C"), nullptr);
}

TEST(HelpFile, HtmlEscapesTextAndLinksJumps) {
  const ParseResult result = ParseHelpFile(
      "@topic A Title <A>\n"
      "x < y & \"z\" **<b>** `a>b` [[B]] [[B|to & b]]\n"
      "- one\n"
      "- two\n"
      "after\n"
      "@topic B Topic B\n",
      "h.hlp");
  ASSERT_TRUE(result.problems.empty()) << Messages(result);
  const std::string html = TopicHtml(result.help, result.help.topics[0]);
  EXPECT_NE(html.find("<h1>Title &lt;A&gt;</h1>"), std::string::npos) << html;
  EXPECT_NE(html.find("x &lt; y &amp; &quot;z&quot; <b>&lt;b&gt;</b> <code>a&gt;b</code> "
                      "<a href=\"topic:B\">Topic B</a> <a href=\"topic:B\">to &amp; b</a>"),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("<ul>\n<li>one</li>\n<li>two after</li>\n</ul>"), std::string::npos) << html;
}

TEST(HelpMacro, ReadsCallsAndRejectsMalformedText) {
  const std::optional<Macro> jump = ParseMacro("JumpID(\"\",\"MiscPage\")");
  ASSERT_TRUE(jump);
  EXPECT_EQ(jump->name, "JumpID");
  EXPECT_EQ(jump->args, (std::vector<std::string>{"", "MiscPage"}));

  const std::optional<Macro> spaced = ParseMacro("  jumpid ( \"C:\\HELP\\Kolpa.hlp\" , Startup ) ; ");
  ASSERT_TRUE(spaced);
  EXPECT_EQ(spaced->name, "jumpid");
  EXPECT_EQ(spaced->args, (std::vector<std::string>{"C:\\HELP\\Kolpa.hlp", "Startup"}));

  const std::optional<Macro> bare = ParseMacro("Back()");
  ASSERT_TRUE(bare);
  EXPECT_TRUE(bare->args.empty());

  for (const char* bad :
       {"", "JumpID", "JumpID(", "JumpID(\"a\",\"b\"", "JumpID(\"a\",)", "JumpID(\"a\" \"b\")", "JumpID(\"a\",\"b) ",
        "JumpID(\"\",\"b\") extra", "(\"a\")", "Jump ID(\"a\")", "JumpID(\"a\");;"}) {
    EXPECT_FALSE(ParseMacro(bad)) << bad;
  }
}

TEST(ShippedHelpFile, HasTheContentsAndEveryPageTopicWithItsSettings) {
  std::ifstream in(KOLPA_HLP, std::ios::binary);
  ASSERT_TRUE(in) << KOLPA_HLP;
  std::stringstream bytes;
  bytes << in.rdbuf();
  const ParseResult result = ParseHelpFile(bytes.str(), KOLPA_HLP);
  // The parser checks every jump's target, so no problems also means no broken jump.
  ASSERT_TRUE(result.problems.empty()) << Messages(result);
  const HelpFile& help = result.help;
  ASSERT_NE(help.Contents(), nullptr);
  EXPECT_EQ(help.Contents()->id, "Contents");

  // Each page's topic is reached by the page's exact name and names every control caption.
  const std::vector<std::pair<std::string, std::vector<std::string>>> pages = {
      {"MiscPage",
       {"Стрелки Ярлыков", "Цифры В Конце ДОС-Имен Файлов", "Отключение Сохранения Паролей",
        "Средняя Кнопка = Двойной Щелчок", "BMP В Виде Картинок", "Задержка Выпадения Меню", "Имя Корзины"}},
      {"UsefulPage",
       {"Путь К Инсталляции Виндов", "\"Открывалка Неоткрываемого\"", "Программа Просмотра Файлов Неизвестных Типов",
        "Обзор", "Размер Кэша Диска", "Авто"}},
      {"BootPage",
       {"Не Показывать Заставку", "Включить Поддержку Сети В Safe Mode", "Не Проверять Диск При Запуске",
        "Разрешить Загрузку Предыдущей ОС", "Загружать Другую ОС Вместо Виндов", "Не Загружать Графическую Среду",
        "Всегда Показывать Меню", "Задержка После Надписи Starting Windows ....", "Запретить Клавиши При Запуске",
        "Не Грузить Drv/DblSpace", "Не Грузить DoubleBuffer", "C:\\MSDOS.SYS"}},
      {"Startup",
       {"Автозапуск", "Реестр (Общий)", "Реестр (Личный)", "Win.Ini", "Добавить", "Убрать Совсем", "Переименовать",
        "Подробно", "Убрать"}},
      {"NetworkPage",
       {"Рекомендованные", "MTU (Maximum Transmission Unit)", "RWIN (Default Receive Window)", "TTL (Time To Live)",
        "Обычно Равно (MTU-40)*4", "Некорректное Значение MTU"}},
      {"UninstallPage", {"Удалить Из Списка"}},
  };
  std::set<std::string> contentsJumps;
  for (const Block& block : help.Contents()->blocks) {
    for (const Span& span : block.spans) {
      if (span.kind == Span::Kind::Jump) contentsJumps.insert(span.target);
    }
  }
  for (const auto& [id, captions] : pages) {
    const Topic* topic = help.Find(id);
    ASSERT_NE(topic, nullptr) << id;
    EXPECT_EQ(topic->id, id);
    EXPECT_TRUE(contentsJumps.count(id)) << "the contents topic does not lead to " << id;
    const std::string text = TopicPlainText(*topic);
    for (const std::string& caption : captions)
      EXPECT_NE(text.find(caption), std::string::npos) << id << ": " << caption;
  }
  const std::string contents = TopicPlainText(*help.Contents());
  for (const char* word : {"Угу", "Отмена", "WINEPREFIX", "~/.wine", "F1"}) {
    EXPECT_NE(contents.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace frambul::ui::help
