#include "config/launcher_settings.hpp"

#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/config/golden.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {

void PrintTo(const LauncherSettings& s, std::ostream* os) {
  *os << "{nickname=" << s.nickname << " game_dir=" << s.game_dir << " last_server=" << s.last_server
      << " restore_files=" << s.restore_files << " battery_opt_dismissed=" << s.battery_opt_dismissed
      << " cache_in_root=" << (s.cache_in_root ? (*s.cache_in_root ? "true" : "false") : "absent")
      << " fullscreen=" << s.fullscreen << " region=" << s.region << " window_mode=" << s.window_mode
      << " server_nicknames={";
  for (const auto& [key, value] : s.server_nicknames) *os << key << ":" << value << ",";
  *os << "}}";
}

namespace {

namespace fs = std::filesystem;
using test::golden;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

LauncherSettings full_record() {
  LauncherSettings s;
  s.nickname = "Павел_Зорин";
  s.game_dir = "/home/игрок/Игры/GTA San Andreas";
  s.last_server = "194.61.44.10:7777";
  s.restore_files = true;
  s.cache_in_root = false;
  s.fullscreen = true;
  s.region = "ru";
  s.window_mode = "borderless";
  s.server_nicknames = {{"194.61.44.10:7777", "Pavel_Zorin"},
                        {"Zelvo RP", "Zorin"},
                        {"zelvo-2", "Зорин"},
                        {"Сервер 3", "Паша \"Зорин\""}};
  return s;
}

class SettingsFile : public ::testing::Test {
 protected:
  LauncherSettings load_text(const std::string& text) {
    write_text_file(path_, text);
    return LauncherSettings::load(path_);
  }

  TempDir dir_;
  std::string path_ = dir_.file("launcher.json");
};

TEST_F(SettingsFile, SavesTheGoldenBytes) {
  ASSERT_TRUE(LauncherSettings{}.save(path_));
  EXPECT_EQ(read_text_file(path_), golden("launcher_defaults.json"));

  LauncherSettings record = full_record();
  record.server_nicknames["emptied"] = "";  // empty overrides are never written
  ASSERT_TRUE(record.save(path_));
  EXPECT_EQ(read_text_file(path_), golden("launcher_full.json"));
}

TEST_F(SettingsFile, RoundTripsNonAsciiValues) {
  ASSERT_TRUE(full_record().save(path_));
  EXPECT_EQ(LauncherSettings::load(path_), full_record());

  EXPECT_EQ(load_text(golden("launcher_defaults.json")), LauncherSettings{});
}

TEST_F(SettingsFile, MissingOrBrokenFilesGiveDefaults) {
  EXPECT_EQ(LauncherSettings::load(dir_.file("absent.json")), LauncherSettings{});
  EXPECT_EQ(LauncherSettings::load(dir_.path()), LauncherSettings{}) << "a folder";

  const std::string good_prefix = R"({"nickname": "Pavel", "restore_files": true)";
  const std::vector<std::string> texts = {
      "",
      R"(["nickname", "Pavel"])",
      R"("Pavel")",
      "null",
      good_prefix + ",}",
      good_prefix + ", /* note */ }",
      "// note\n" + good_prefix + "}",
      good_prefix,  // cut short, as by an interrupted save of an older version
      good_prefix + "} trailing",
      std::string(R"({"nickname": "Pa)") + "\xff" + R"(vel"})",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(load_text(text), LauncherSettings{}) << text;
  }
}

TEST_F(SettingsFile, TakesEachMemberOnlyWithItsExactType) {
  struct Case {
    std::string text;
    LauncherSettings expected;
  };
  auto with = [](auto change) {
    LauncherSettings s;
    change(s);
    return s;
  };
  const std::vector<Case> cases = {
      {R"({"reset_modified": true})", with([](auto& s) { s.restore_files = true; })},
      {R"({"restore_files": false, "reset_modified": true})", with([](auto& s) { s.restore_files = true; })},
      {R"({"restore_files": true, "reset_modified": false})", with([](auto& s) { s.restore_files = false; })},
      {R"({"restore_files": true, "reset_modified": 1})", with([](auto& s) { s.restore_files = true; })},
      {R"({"restore_files": 1, "fullscreen": "true", "battery_opt_dismissed": null})", LauncherSettings{}},
      {R"({"cache_in_root": "yes"})", LauncherSettings{}},
      {R"({"cache_in_root": false})", with([](auto& s) { s.cache_in_root = false; })},
      {R"({"nickname": 5, "game_dir": "/g", "region": ["ru"], "window_mode": {}, "last_server": "h:1"})",
       with([](auto& s) {
         s.game_dir = "/g";
         s.last_server = "h:1";
       })},
      {R"({"server_nicknames": {"A": "Pavel_Zorin", "B": "", "C": 5, "D": null}})",
       with([](auto& s) { s.server_nicknames = {{"A", "Pavel_Zorin"}}; })},
      {R"({"server_nicknames": {"A": "first", "A": "second"}})",
       with([](auto& s) { s.server_nicknames = {{"A", "second"}}; })},
      {R"({"server_nicknames": [["A", "Pavel"]], "unknown": 1})", LauncherSettings{}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(load_text(c.text), c.expected) << c.text;
  }
}

TEST_F(SettingsFile, LegacyAndUnknownKeysAreDroppedAtTheNextSave) {
  LauncherSettings loaded = load_text(R"({"reset_modified": true, "cache_in_root": "yes", "theme": "dark"})");
  ASSERT_TRUE(loaded.save(path_));
  const std::string text = read_text_file(path_);
  EXPECT_NE(text.find("\"restore_files\": true"), std::string::npos) << text;
  for (const char* gone : {"reset_modified", "cache_in_root", "theme"}) {
    EXPECT_EQ(text.find(gone), std::string::npos) << gone;
  }
}

// Failures that root cannot bypass: a folder occupies the file's name, the
// folder is missing, or the folder is a regular file.
TEST_F(SettingsFile, FailedSaveReturnsFalseAndKeepsThePreviousFile) {
  ASSERT_TRUE(full_record().save(path_));
  const std::string before = read_text_file(path_);
  fs::create_directory(dir_.file("occupied"));
  const std::vector<std::string> targets = {dir_.file("occupied"), dir_.file("missing/launcher.json"),
                                            path_ + "/launcher.json"};
  for (const std::string& target : targets) {
    EXPECT_FALSE(LauncherSettings{}.save(target)) << target;
  }
  EXPECT_TRUE(fs::is_directory(dir_.file("occupied")));
  EXPECT_EQ(read_text_file(path_), before);
  EXPECT_EQ(LauncherSettings::load(path_), full_record());
}

TEST_F(SettingsFile, ReadOnlyFolderKeepsThePreviousFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string path = dir_.file("ro/launcher.json");
  write_text_file(path, golden("launcher_full.json"));
  fs::permissions(dir_.file("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(LauncherSettings{}.save(path));
  EXPECT_EQ(read_text_file(path), golden("launcher_full.json"));
}

}  // namespace
}  // namespace zelvo::launcher
