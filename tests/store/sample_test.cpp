// The bundled Windows 98 sample machine: stored in Wine's canonical form, and
// readable through the store the way the program's pages read it.

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/store/files.h"
#include "engine/store/hive.h"
#include "engine/store/ini_document.h"
#include "engine/store/inifile.h"
#include "engine/store/registry.h"
#include "support/temp_prefix.h"

namespace frambul::store {
namespace {

using test::ReadFile;

const std::string kSample = std::string(FRAMBUL_SOURCE_DIR) + "/samples/win98";

TEST(SampleMachine, FilesAreInTheFormsTheStoreWrites) {
  for (const char* name : {"system.reg", "user.reg"}) {
    std::string text = ReadFile(kSample + "/" + name);
    EXPECT_EQ(Hive::Parse(text, name, 0)->Write(), text) << name;
  }
  for (const char* name : {"drive_c/MSDOS.SYS", "drive_c/WINDOWS/WIN.INI", "drive_c/WINDOWS/SYSTEM.INI"}) {
    std::string bytes = ReadFile(kSample + "/" + name);
    EXPECT_EQ(IniDocument::Parse(bytes, 1251).Serialize(), bytes) << name;
    EXPECT_NE(bytes.find("\r\n"), std::string::npos) << name;
  }
  EXPECT_GT(ReadFile(kSample + "/drive_c/MSDOS.SYS").size(), 1024u);
}

TEST(SampleMachine, OpensThroughTheCopyScriptWithItsAttributes) {
  std::string dest = std::string(::testing::TempDir()) + "frambul-sample-" + std::to_string(::getpid());
  std::string cmd = "'" + std::string(FRAMBUL_SOURCE_DIR) + "/scripts/make-sample-prefix.sh' '" + dest + "' >/dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  {
    Machine machine(dest);
    EXPECT_EQ(machine.WindowsDirectory(), "C:\\WINDOWS");
    EXPECT_EQ(machine.AnsiCodePage(), 1251u);
    EXPECT_EQ(GetAttributes(machine, "C:\\MSDOS.Sys"), faReadOnly | faHidden | faSysFile | faArchive);

    TRegistry reg(machine);
    ASSERT_TRUE(reg.OpenPath("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", false));
    std::string startup = reg.ReadText("StartUp");
    EXPECT_EQ(startup, "C:\\WINDOWS\\Главное меню\\Программы\\Автозагрузка");
    TSearchRec rec;
    int hidden = 0, count = 0;
    for (int rc = SearchFirst(machine, startup + "\\*.*", 47, rec); rc == 0; rc = SearchNext(rec)) {
      ++count;
      hidden += (rec.Attr & faHidden) ? 1 : 0;
    }
    SearchEnd(rec);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(hidden, 1);

    reg.SetCurrentRoot(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenPath("\\SOFTWARE\\Classes\\CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}", false));
    EXPECT_EQ(reg.ReadText(""), "Корзина");
    ASSERT_TRUE(reg.OpenPath("\\System\\CurrentControlSet\\control\\FileSystem", false));
    unsigned char tail[2] = {};
    EXPECT_EQ(reg.ReadBytes("NameNumericTail", tail, 2), 1);

    TIniFile win(machine, "Win.Ini");
    EXPECT_NE(win.ReadText("Windows", "Load", ""), "");
    TIniFile system(machine, "System.Ini");
    EXPECT_EQ(system.ReadText("VCache", "MinFileCache", ""), "2048");
    TIniFile boot(machine, "C:\\MSDOS.Sys");
    EXPECT_EQ(boot.ReadText("Options", "BootGUI", ""), "1");
  }
  std::system(("chmod -R u+w '" + dest + "' && rm -rf '" + dest + "'").c_str());
}

}  // namespace
}  // namespace frambul::store
