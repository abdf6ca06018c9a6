#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/cdn_glob.hpp"

namespace zelvo::launcher {
namespace {

struct MatchCase {
  std::string pattern;
  std::string path;
  bool matches;
};

TEST(GlobPatternTest, MatchesWholeRelativePaths) {
  const std::vector<MatchCase> cases = {
      {"gta_sa.exe", "gta_sa.exe", true},
      {"gta_sa.exe", "bin/gta_sa.exe", false},  // the whole path, not the name
      {"*.asi", "zelvo.asi", true},
      {"*.asi", "zelvo/zelvo.asi", false},  // '*' stays in one folder
      {"zelvo/*", "zelvo/net.dll", true},
      {"zelvo/*", "zelvo/sub/net.dll", false},
      {"zelvo/**", "zelvo/sub/deeper/net.dll", true},
      {"zelvo/**", "zelvox/net.dll", false},
      {"**/*.asi", "zelvo.asi", true},  // "**/" also matches no folder
      {"**/*.asi", "a/b/c/zelvo.asi", true},
      {"**/*.asi", "a/b/c/zelvo.asix", false},
      {"data/**/*.ipl", "data/x.ipl", true},
      {"data/**/*.ipl", "data/maps/zelvo/x.ipl", true},
      {"data/**/*.ipl", "database/x.ipl", false},
      {"model?.img", "model1.img", true},
      {"model?.img", "model/.img", false},  // '?' is never a separator
      {"model?.img", "model12.img", false},
      {"[abc]*.txt", "b.txt", true},
      {"[abc]*.txt", "d.txt", false},
      {"[!abc]*.txt", "d.txt", true},
      {"[^abc]*.txt", "a.txt", false},
      {"file[0-9].bin", "file7.bin", true},
      {"file[0-9].bin", "filex.bin", false},
      {"[]]x", "]x", true},  // ']' first is a member
      {"a[/]b", "a/b", false},
      {"\\*.txt", "*.txt", true},
      {"\\*.txt", "a.txt", false},
      {"*", "", true},
      {"*a*a*a*a*a*a*a*a*b", std::string(200, 'a'), false},  // no blow-up
  };
  for (const auto& c : cases) {
    GlobPattern pattern;
    std::string error;
    ASSERT_TRUE(GlobPattern::compile(c.pattern, pattern, error)) << c.pattern << ": " << error;
    EXPECT_EQ(pattern.matches(c.path), c.matches) << c.pattern << " vs " << c.path;
  }
}

TEST(GlobPatternTest, RejectsMalformedPatterns) {
  for (const char* text : {"", "[abc", "models/[", "trailing\\", "[z-a]", "[]"}) {
    GlobPattern pattern;
    std::string error;
    EXPECT_FALSE(GlobPattern::compile(text, pattern, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

}  // namespace
}  // namespace zelvo::launcher
