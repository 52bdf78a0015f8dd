// Where shortcuts go and which help library and file are used, without the shell or a registry.
#include <gtest/gtest.h>

#include <map>

#include "desktop/help.h"
#include "desktop/shortcut.h"

namespace sondrel {
namespace {

TEST(Shortcut, FilePathForEachPlaceAndWhatHasNone) {
  EXPECT_EQ(ShortcutFilePath("DESKTOP", "C:\\Users\\u\\Desktop", "C:\\AppData", "Sondrel"),
            "C:\\Users\\u\\Desktop\\Sondrel.lnk");
  EXPECT_EQ(ShortcutFilePath("QUICKLAUNCH", "C:\\Desktop", "C:\\Users\\u\\AppData\\Roaming", "Sondrel"),
            "C:\\Users\\u\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\Sondrel.lnk");
  // Compared exactly; a place whose folder the shell did not name gives no path.
  EXPECT_EQ(ShortcutFilePath("desktop", "C:\\Desktop", "C:\\AppData", "Sondrel"), std::nullopt);
  EXPECT_EQ(ShortcutFilePath("STARTMENU", "C:\\Desktop", "C:\\AppData", "Sondrel"), std::nullopt);
  EXPECT_EQ(ShortcutFilePath("DESKTOP", "", "C:\\AppData", "Sondrel"), std::nullopt);
  EXPECT_EQ(ShortcutFilePath("QUICKLAUNCH", "C:\\Desktop", "", "Sondrel"), std::nullopt);

  // The whole path must fit the platform's limit: 259 characters do, 260 do not.
  const std::string name = "Sondrel";
  const std::string fits(259 - 1 - name.size() - 4, 'd');
  EXPECT_EQ(ShortcutFilePath("DESKTOP", fits, "", name)->size(), 259u);
  EXPECT_EQ(ShortcutFilePath("DESKTOP", fits + "d", "", name), std::nullopt);

  EXPECT_EQ(ShortcutWorkingFolder("C:\\Program Files\\Sondrel\\Sondrel.exe"), "C:\\Program Files\\Sondrel\\");
}

class FakeRegistry : public RegistryReader {
 public:
  std::map<std::string, std::string> values;  // key -> default value, under HKEY_CLASSES_ROOT
  std::optional<std::string> ReadString(RegistryRoot root, const std::string& key,
                                        const std::string& name) const override {
    auto it = values.find(key);
    if (root != RegistryRoot::ClassesRoot || !name.empty() || it == values.end()) return std::nullopt;
    return it->second;
  }
};

TEST(Help, LibraryFromTheRegistrationWhenItsFileExists) {
  FakeRegistry registry;
  auto exists = [](const std::string& p) { return p == "C:\\Windows\\System32\\hhctrl.ocx"; };
  EXPECT_EQ(HtmlHelpLibraryPath(registry, exists), "") << "no registration";
  registry.values[kHtmlHelpServerKey] = "C:\\Windows\\System32\\hhctrl.ocx";
  EXPECT_EQ(HtmlHelpLibraryPath(registry, exists), "C:\\Windows\\System32\\hhctrl.ocx");
  registry.values[kHtmlHelpServerKey] = "C:\\Gone\\hhctrl.ocx";
  EXPECT_EQ(HtmlHelpLibraryPath(registry, exists), "") << "registered but missing";

  EXPECT_EQ(HelpFilePath("D:\\Tools\\Sondrel\\"), "D:\\Tools\\Sondrel\\Sondrel.chm");
}

}  // namespace
}  // namespace sondrel
