#include "config/client_config.hpp"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/config/golden.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::golden;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

class ClientConfigFile : public ::testing::Test {
 protected:
  void put(const std::string& text) { write_text_file(path_, text); }
  json written() const { return json::parse(read_text_file(path_), nullptr, false); }

  TempDir dir_;
  std::string game_ = dir_.path();
  std::string path_ = dir_.file("client_config.json");
};

TEST(ClientConfigPath, AddsOneSeparatorOnlyWhenNeeded) {
  EXPECT_EQ(client_config_path(""), "");
  EXPECT_EQ(client_config_path("/games/gta"), "/games/gta/client_config.json");
  EXPECT_EQ(client_config_path("/games/gta/"), "/games/gta/client_config.json");
  EXPECT_EQ(client_config_path("D:\\games\\"), "D:\\games\\client_config.json");
}

TEST(ClientConfigEmptyFolder, EveryOperationFailsAndTouchesNoFile) {
  const bool existed = fs::exists("client_config.json");
  std::string font = "kept";
  std::string mode = "kept";
  EXPECT_FALSE(ClientConfig::read_font("", font));
  EXPECT_FALSE(ClientConfig::read_window_mode("", mode));
  EXPECT_FALSE(ClientConfig::write_font("", "arial"));
  EXPECT_FALSE(ClientConfig::write_window_mode("", "windowed"));
  EXPECT_EQ(font, "kept");
  EXPECT_EQ(mode, "kept");
  EXPECT_EQ(fs::exists("client_config.json"), existed);
}

TEST_F(ClientConfigFile, MissingFileReadsDefaultsAndFirstWriteCreatesTheGoldenFile) {
  std::string font;
  std::string mode;
  EXPECT_TRUE(ClientConfig::read_font(game_, font));
  EXPECT_EQ(font, "default");
  EXPECT_TRUE(ClientConfig::read_window_mode(game_, mode));
  EXPECT_EQ(mode, "fullscreen");

  ASSERT_TRUE(ClientConfig::write_font(game_, "arial"));
  EXPECT_EQ(read_text_file(path_), golden("client_config_new.json"));
}

TEST_F(ClientConfigFile, WritesKeepEveryMemberOfTheGame) {
  put(golden("client_config_game.json"));
  std::string font;
  std::string mode;
  EXPECT_TRUE(ClientConfig::read_font(game_, font));
  EXPECT_EQ(font, "tahoma");
  EXPECT_TRUE(ClientConfig::read_window_mode(game_, mode));
  EXPECT_EQ(mode, "fullscreen");

  ASSERT_TRUE(ClientConfig::write_font(game_, "roboto"));
  ASSERT_TRUE(ClientConfig::write_window_mode(game_, "windowed"));
  EXPECT_EQ(read_text_file(path_), golden("client_config_game_written.json"));

  EXPECT_TRUE(ClientConfig::read_font(game_, font));
  EXPECT_EQ(font, "roboto");
  EXPECT_TRUE(ClientConfig::read_window_mode(game_, mode));
  EXPECT_EQ(mode, "windowed");
}

TEST_F(ClientConfigFile, ReadFontValidatesTheStoredId) {
  struct Case {
    std::string text;
    std::string font;
    bool valid;
  };
  const std::vector<Case> cases = {
      {R"({"font": "verdana"})", "verdana", true},
      {R"({"font": "segoe_ui"})", "segoe_ui", true},
      {R"({"font": "Arial"})", "default", false},
      {R"({"font": "comic_sans"})", "default", false},
      {R"({"font": ""})", "default", true},
      {R"({"font": 3})", "default", true},
      {R"({"version": 1})", "default", true},
      {R"({"font": "arial",})", "default", true},
      {R"(["font", "arial"])", "default", true},
  };
  for (const Case& c : cases) {
    put(c.text);
    std::string font = "kept";
    EXPECT_EQ(ClientConfig::read_font(game_, font), c.valid) << c.text;
    EXPECT_EQ(font, c.font) << c.text;
  }
}

TEST_F(ClientConfigFile, ReadWindowModeNormalisesWhatItFinds) {
  struct Case {
    std::string text;
    std::string mode;
  };
  const std::vector<Case> cases = {
      {R"({"window": {"mode": "windowed"}})", "windowed"},
      {R"({"window": {"mode": "borderless", "width": 800}})", "borderless"},
      {R"({"window": {"mode": "Borderless"}})", "fullscreen"},
      {R"({"window": {"mode": 1}})", "fullscreen"},
      {R"({"window": "windowed"})", "fullscreen"},
      {R"({"mode": "windowed"})", "fullscreen"},
      {"{oops", "fullscreen"},
  };
  for (const Case& c : cases) {
    put(c.text);
    std::string mode;
    EXPECT_TRUE(ClientConfig::read_window_mode(game_, mode)) << c.text;
    EXPECT_EQ(mode, c.mode) << c.text;
  }
}

TEST_F(ClientConfigFile, WriteFontRefusesUnknownIdsAndKeepsTheFile) {
  put(golden("client_config_game.json"));
  for (const char* id : {"Arial", "comic_sans", " arial"}) {
    EXPECT_FALSE(ClientConfig::write_font(game_, id)) << id;
  }
  EXPECT_EQ(read_text_file(path_), golden("client_config_game.json"));

  ASSERT_TRUE(ClientConfig::write_font(game_, ""));
  EXPECT_EQ(written()["font"], "default");
}

TEST_F(ClientConfigFile, WriteWindowModeMakesWindowAnObjectAndNormalises) {
  struct Case {
    std::string before;
    std::string mode;
    json window;
  };
  const std::vector<Case> cases = {
      {R"({"window": "fullscreen"})", "windowed", {{"mode", "windowed"}}},
      {R"({"window": [1, 2]})", "borderless", {{"mode", "borderless"}}},
      {R"({"window": {"mode": "windowed", "width": 800}})", "Borderless", {{"mode", "fullscreen"}, {"width", 800}}},
      {R"({})", "", {{"mode", "fullscreen"}}},
  };
  for (const Case& c : cases) {
    put(c.before);
    ASSERT_TRUE(ClientConfig::write_window_mode(game_, c.mode)) << c.before;
    const json after = written();
    EXPECT_EQ(after["window"], c.window) << c.before;
    EXPECT_EQ(after["version"], 1) << c.before;
  }
}

// The game reads "version" as an integer, so the launcher keeps a numeric
// value as an integer and writes 1 for anything it cannot read as a number.
TEST_F(ClientConfigFile, WritesKeepVersionAsAnInteger) {
  struct Case {
    std::string version;
    json expected;
  };
  const std::vector<Case> cases = {
      {"3", 3},
      {"-2", -2},
      {"18446744073709551615", std::numeric_limits<std::uint64_t>::max()},
      {"2.9", 2},
      {"-1.5", -1},
      {"1e300", std::numeric_limits<std::int64_t>::max()},
      {"true", 1},
      {"false", 0},
      {R"("3")", 1},
      {"null", 1},
      {"[3]", 1},
      {R"({"major": 3})", 1},
  };
  for (const Case& c : cases) {
    put(R"({"version": )" + c.version + R"(, "game_member": {"keep": "мне"}})");
    ASSERT_TRUE(ClientConfig::write_font(game_, "arial")) << c.version;
    const json after = written();
    EXPECT_TRUE(after["version"].is_number_integer()) << c.version;
    EXPECT_EQ(after["version"], c.expected) << c.version;
    EXPECT_EQ(after["game_member"], json({{"keep", "мне"}})) << c.version;
  }
}

TEST_F(ClientConfigFile, UnreadableFileIsReplacedByTheLaunchersMembers) {
  for (const std::string text : {"{oops", "[1, 2]", "// comment\n{}", ""}) {
    put(text);
    ASSERT_TRUE(ClientConfig::write_font(game_, "arial")) << text;
    EXPECT_EQ(read_text_file(path_), golden("client_config_new.json")) << text;
  }
}

TEST_F(ClientConfigFile, FailedWriteReturnsFalseAndLeavesThingsAsTheyWere) {
  EXPECT_FALSE(ClientConfig::write_font(dir_.file("missing"), "arial"));
  EXPECT_FALSE(ClientConfig::write_window_mode(dir_.file("missing"), "windowed"));
  EXPECT_FALSE(fs::exists(dir_.file("missing")));

  // A folder where the file belongs: reading gives defaults, writing fails.
  fs::create_directory(path_);
  std::string font;
  EXPECT_TRUE(ClientConfig::read_font(game_, font));
  EXPECT_EQ(font, "default");
  EXPECT_FALSE(ClientConfig::write_font(game_, "arial"));
  EXPECT_FALSE(ClientConfig::write_window_mode(game_, "windowed"));
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
}  // namespace zelvo::launcher
