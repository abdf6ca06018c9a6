#include "net/cdn_config.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

#include "net/host_selection.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::LogCapture;
using test::TempDir;

TEST(CdnConfig, DefaultsAreAnRuThenAnEuHttpsNode) {
  const CdnConfig cdn = default_cdn_config();
  ASSERT_EQ(cdn.nodes.size(), 2u);
  EXPECT_EQ(region_of_url(cdn.nodes[0]), "RU");
  EXPECT_EQ(region_of_url(cdn.nodes[1]), "EU");
  for (const std::string& url : {cdn.nodes[0], cdn.nodes[1], cdn.geo_probe}) {
    EXPECT_TRUE(url.starts_with("https://")) << url;
    EXPECT_FALSE(url.ends_with("/")) << url;
  }
  EXPECT_EQ(cdn.ca_file, "");
}

TEST(CdnConfig, ParseAppliesEachValidMemberAndRejectsTheRest) {
  CdnConfig base;
  base.nodes = {"https://base-ru/cdn-ru"};
  base.geo_probe = "https://geo/icon";
  struct Case {
    std::string name;
    std::string text;
    bool ok;
    std::vector<std::string> nodes;
    std::string geo_probe;
    std::string ca_file;
  };
  const std::vector<Case> cases = {
      {"all members", R"({"nodes":["https://a/cdn-eu","https://b"],"geo_probe":"https://g",
         "ca_file":"ca.pem","comment":"ignored"})",
       true, {"https://a/cdn-eu", "https://b"}, "https://g", "ca.pem"},
      {"every member optional", "{}", true, base.nodes, base.geo_probe, ""},
      {"only nodes", R"({"nodes":["https://x"]})", true, {"https://x"}, base.geo_probe, ""},
      {"nodes not an array", R"({"nodes":"https://x"})", false, base.nodes, base.geo_probe, ""},
      {"node not a string", R"({"nodes":["https://x",1]})", false, base.nodes, base.geo_probe,
       ""},
      {"empty node", R"({"nodes":[""]})", false, base.nodes, base.geo_probe, ""},
      {"geo_probe not a string", R"({"geo_probe":true})", false, base.nodes, base.geo_probe, ""},
      {"ca_file not a string", R"({"nodes":["https://x"],"ca_file":{}})", false, base.nodes,
       base.geo_probe, ""},
      {"root not an object", R"(["https://x"])", false, base.nodes, base.geo_probe, ""},
      {"not json", "{nodes:", false, base.nodes, base.geo_probe, ""},
      {"comments are not json", "{/* c */}", false, base.nodes, base.geo_probe, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CdnConfig out;
    out.nodes = {"garbage"};
    std::string error;
    EXPECT_EQ(parse_cdn_config(c.text, base, out, error), c.ok);
    EXPECT_EQ(error.empty(), c.ok);
    EXPECT_EQ(out.nodes, c.nodes);
    EXPECT_EQ(out.geo_probe, c.geo_probe);
    EXPECT_EQ(out.ca_file, c.ca_file);
  }
}

class LoadCdnConfigTest : public ::testing::Test {
 protected:
  ~LoadCdnConfigTest() override { ::unsetenv("ZELVO_CDN_CONFIG"); }
  TempDir dir_;
};

TEST_F(LoadCdnConfigTest, FileNextToTheExecutableWithCaRelativeToIt) {
  ::unsetenv("ZELVO_CDN_CONFIG");
  test::write_text_file(dir_.file("cdn.json"),
                        R"({"nodes":["https://127.0.0.1:1/cdn-ru"],"ca_file":"certs/ca.pem"})");
  test::write_text_file(dir_.file("certs/ca.pem"), "pem");
  const CdnConfig cdn = load_cdn_config(dir_.path());
  EXPECT_EQ(cdn.nodes, std::vector<std::string>{"https://127.0.0.1:1/cdn-ru"});
  EXPECT_EQ(cdn.geo_probe, default_cdn_config().geo_probe);
  EXPECT_EQ(cdn.ca_file, dir_.file("certs/ca.pem"));
}

TEST_F(LoadCdnConfigTest, EnvironmentVariableWinsOverTheFileNextToTheExecutable) {
  test::write_text_file(dir_.file("cdn.json"), R"({"nodes":["https://beside"]})");
  test::write_text_file(dir_.file("elsewhere/my.json"),
                        R"({"nodes":["https://named"],"ca_file":"/abs/ca.pem"})");
  ::setenv("ZELVO_CDN_CONFIG", dir_.file("elsewhere/my.json").c_str(), 1);
  const CdnConfig cdn = load_cdn_config(dir_.path());
  EXPECT_EQ(cdn.nodes, std::vector<std::string>{"https://named"});
  EXPECT_EQ(cdn.ca_file, "/abs/ca.pem");
}

TEST_F(LoadCdnConfigTest, MissingOrBadFilesFallBackToTheDefaults) {
  const CdnConfig defaults = default_cdn_config();
  ::unsetenv("ZELVO_CDN_CONFIG");
  {
    LogCapture log;
    EXPECT_EQ(load_cdn_config(dir_.path()).nodes, defaults.nodes);
    EXPECT_TRUE(log.lines().empty());
  }
  test::write_text_file(dir_.file("cdn.json"), R"({"nodes":[1]})");
  {
    LogCapture log;
    EXPECT_EQ(load_cdn_config(dir_.path()).nodes, defaults.nodes);
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{"cdn config: ignoring " + dir_.file("cdn.json") +
                                       ": \"nodes\" holds an element that is not a non-empty "
                                       "string"});
  }
  ::setenv("ZELVO_CDN_CONFIG", dir_.file("absent.json").c_str(), 1);
  {
    LogCapture log;
    EXPECT_EQ(load_cdn_config(dir_.path()).nodes, defaults.nodes);
    EXPECT_EQ(log.lines().size(), 1u);
  }
}

}  // namespace
}  // namespace zelvo::launcher
