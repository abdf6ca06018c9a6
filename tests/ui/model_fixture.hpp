#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/helpers.hpp"
#include "config/launcher_settings.hpp"
#include "core/launcher_core.hpp"
#include "net/cdn_config.hpp"
#include "tests/support/fake_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/temp_dir.hpp"
#include "ui/launcher_vm.hpp"

namespace zelvo::launcher::test {

inline CdnConfig cdn_with(std::vector<std::string> nodes) {
  CdnConfig cdn;
  cdn.nodes = std::move(nodes);
  cdn.geo_probe = "https://geo.test/probe";
  return cdn;
}

// A model wired to a real core (fake network on which every node answers its
// ping, fake platform), with launcher.json and a game folder in a temp
// folder, recording every dirty mark.
class ModelFixture : public ::testing::Test {
 protected:
  explicit ModelFixture(const std::vector<std::string>& nodes)
      : core(http, platform, cdn_with(nodes)) {
    for (const std::string& node : nodes) http.set_head(node + "/launcher/ping.txt", true);
    vm.settings_path = dir.file("launcher.json");
    vm.core = &core;
    vm.platform = &platform;
    vm.mark_dirty = [this](const char* name) { marks.emplace_back(name); };
    create_directories(game_dir);
  }

  bool settings_written() const { return !read_text_file(vm.settings_path).empty(); }
  LauncherSettings saved() const { return LauncherSettings::load(vm.settings_path); }

  TempDir dir;
  const std::string game_dir = dir.file("game");
  FakeHttpClient http;
  FakePlatform platform;
  LauncherCore core;
  LauncherVM vm;
  std::vector<std::string> marks;
};

}  // namespace zelvo::launcher::test
