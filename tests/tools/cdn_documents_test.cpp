#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "files/file_digest.hpp"
#include "files/manifest.hpp"
#include "net/self_update.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/cdn_documents.hpp"

namespace zelvo::launcher {
namespace {

using test::TempDir;
using test::write_text_file;

// Relative path -> content of a small game folder. The names sort differently
// in byte order than in a locale ('B' < 'a', '.' < '/'), and one is not ASCII.
const std::map<std::string, std::string>& game_folder() {
  static const std::map<std::string, std::string> files = {
      {"gta_sa.exe", "MZ placeholder"},
      {"B.txt", "upper case first"},
      {"a.b", "dot sorts before slash"},
      {"a/b", "nested"},
      {"empty.dat", ""},
      {"models/txd/deep/icons.txd", std::string(70000, 'x')},
      {"zelvo/zelvo.asi", "plugin"},
      {"cleo/settings.ini", "editable"},
      {"модели/машина.dff", "utf-8 name"},
      {"z/other.txt", "kept"},
  };
  return files;
}

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [path, content] : game_folder()) write_text_file(dir.file(path), content);
    // The launcher's own state is never published.
    write_text_file(dir.file("z/verify_cache.bin"), "cache");
    write_text_file(dir.file("z/launcher_connect.json"), "{}");
  }

  std::string build(ManifestOptions options, std::vector<HashProgress>* progress = nullptr) {
    options.game_dir = dir.path();
    std::string text;
    std::string error;
    const bool ok = build_manifest(
        options, [progress](const HashProgress& p) { if (progress) progress->push_back(p); },
        text, error);
    EXPECT_TRUE(ok) << error;
    return text;
  }

  TempDir dir;
};

TEST_F(ManifestTest, RoundTripsThroughTheLauncherParser) {
  ManifestOptions options;
  options.base_url = "https://cdn.example.org/pc/files";
  std::vector<HashProgress> progress;
  const FileManifest manifest = FileManifest::parse(build(options, &progress));

  EXPECT_EQ(manifest.base_url, options.base_url);
  std::vector<std::string> expected_order;
  for (const auto& [path, content] : game_folder()) expected_order.push_back(path);
  std::sort(expected_order.begin(), expected_order.end());  // std::string compares bytes
  ASSERT_EQ(manifest.files.size(), expected_order.size());
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    const ManifestEntry& entry = manifest.files[i];
    const std::string& content = game_folder().at(expected_order[i]);
    EXPECT_EQ(entry.path, expected_order[i]);
    EXPECT_EQ(entry.md5, md5_hex(content)) << entry.path;
    EXPECT_EQ(entry.size, static_cast<std::int64_t>(content.size())) << entry.path;
    EXPECT_FALSE(entry.is_protected) << entry.path;
  }

  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front().files_done, 0);
  EXPECT_EQ(progress.back().files_done, static_cast<std::int64_t>(expected_order.size()));
  EXPECT_EQ(progress.back().bytes_done, progress.back().bytes_total);
}

TEST_F(ManifestTest, WithoutBaseUrlTheKeyIsLeftOut) {
  const auto json = nlohmann::json::parse(build({}), nullptr, false);
  ASSERT_TRUE(json.is_object());
  EXPECT_FALSE(json.contains("base_url"));
  EXPECT_EQ(FileManifest::parse(json.dump()).base_url, "");
}

TEST_F(ManifestTest, GlobsSelectProtectedAndOptionalFiles) {
  ManifestOptions options;
  options.protect = {"gta_sa.exe", "**/*.asi", "cleo/**"};
  options.optional = {"cleo/*.ini"};  // wins over protect for the same file
  const std::string text = build(options);

  std::map<std::string, bool> is_protected;
  for (const auto& entry : FileManifest::parse(text).files) is_protected[entry.path] = entry.is_protected;
  EXPECT_TRUE(is_protected.at("gta_sa.exe"));
  EXPECT_TRUE(is_protected.at("zelvo/zelvo.asi"));
  EXPECT_FALSE(is_protected.at("cleo/settings.ini"));
  EXPECT_FALSE(is_protected.at("a/b"));

  const auto json = nlohmann::json::parse(text, nullptr, false);
  for (const auto& entry : json["files"]) {
    const std::string path = entry["path"];
    EXPECT_EQ(entry.contains("optional"), path == "cleo/settings.ini") << path;
    EXPECT_EQ(entry.contains("protected"), path == "gta_sa.exe" || path == "zelvo/zelvo.asi")
        << path;
  }
}

// Names the launcher could not fetch under the same path: a backslash splits
// folders there, '%', '#' and '?' change the download address, and the
// document is UTF-8.
TEST(ManifestNamesTest, NamesThatCannotBePublishedFailTheWholeManifest) {
  for (const std::string name : {"data\\x.img", "100%.txt", "maps/a#b.ipl", "what?.dat", "bad\xff.bin"}) {
    TempDir dir;
    write_text_file(dir.file("ok.dat"), "fine");
    write_text_file(dir.file(name), "content");
    ManifestOptions options;
    options.game_dir = dir.path();
    std::string text;
    std::string error;
    EXPECT_FALSE(build_manifest(options, {}, text, error)) << name;
    EXPECT_NE(error.find(dir.file(name)), std::string::npos) << error;
    EXPECT_EQ(text, "") << name;
  }
}

class UpdateDocumentTest : public ::testing::Test {
 protected:
  UpdateDocumentTest() { write_text_file(dir.file("launcher.bin"), "new launcher build"); }

  UpdateOptions options(const std::string& tag, const std::string& version) const {
    UpdateOptions o;
    o.tag = tag;
    o.version = version;
    o.url = "/launcher/builds/" + version + ".bin";
    o.file = dir.file("launcher.bin");
    return o;
  }

  TempDir dir;
};

TEST_F(UpdateDocumentTest, EntryReadsBackThroughTheLauncherParser) {
  std::string text;
  std::string error;
  ASSERT_TRUE(build_update(options("linux", "0.48"), text, error)) << error;
  UpdateInfo info;
  ASSERT_TRUE(parse_update_info(text, "linux", info));
  EXPECT_EQ(info.version, "0.48");
  EXPECT_EQ(info.url, "/launcher/builds/0.48.bin");
  EXPECT_EQ(info.md5, md5_hex("new launcher build"));
  EXPECT_TRUE(is_newer_version(info.version, "0.47"));
}

TEST_F(UpdateDocumentTest, MergesIntoAnExistingDocument) {
  write_text_file(dir.file("update.json"),
                  R"({"pc": {"version": "0.40", "url": "https://old/pc.exe", "md5": "NONE"},
                      "android": {"version": "0.47", "url": "/a.apk", "extra": [1, 2]},
                      "note": "kept as is"})");
  UpdateOptions o = options("pc", "1.2.3");
  o.into = dir.file("update.json");
  std::string text;
  std::string error;
  ASSERT_TRUE(build_update(o, text, error)) << error;

  UpdateInfo pc;
  ASSERT_TRUE(parse_update_info(text, "pc", pc));
  EXPECT_EQ(pc.version, "1.2.3");
  EXPECT_EQ(pc.md5, md5_hex("new launcher build"));
  UpdateInfo android;
  ASSERT_TRUE(parse_update_info(text, "android", android));
  EXPECT_EQ(android.url, "/a.apk");
  const auto json = nlohmann::json::parse(text, nullptr, false);
  EXPECT_EQ(json["android"]["extra"], nlohmann::json::array({1, 2}));
  EXPECT_EQ(json["note"], "kept as is");
}

}  // namespace
}  // namespace zelvo::launcher
