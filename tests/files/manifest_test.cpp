#include "files/manifest.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zelvo::launcher {
namespace {

struct Expected {
  std::string path;
  std::string md5;
  std::int64_t size;
  bool is_protected;
};

struct ParseCase {
  const char* name;
  std::string text;
  std::string base_url;
  std::vector<Expected> files;
};

const std::vector<ParseCase> kCases = {
    {"object root with base and one entry",
     R"({"base_url":"https://cdn.example/files","files":[{"path":"a/b.txt","md5":"0123456789abcdef0123456789abcdef","size":10}]})",
     "https://cdn.example/files",
     {{"a/b.txt", "0123456789abcdef0123456789abcdef", 10, false}}},
    {"array root", R"([{"path":"x"},["y","d",3]])", "", {{"x", "", -1, false}, {"y", "d", 3, false}}},
    {"array forms: path only, wrong digest type, extra elements",
     R"([["only"],["n",5,7],["e","m",9,"extra",true]])",
     "",
     {{"only", "", -1, false}, {"n", "", 7, false}, {"e", "m", 9, false}}},
    {"protection keys: set, clear wins, booleans only",
     R"([{"path":"p1","protected":true,"skip_verify":true},
         {"path":"p2","locked":true},
         {"path":"p3","verify":"true"},
         {"path":"p4","verify":true},
         {"path":"p5","protected":1},
         {"path":"p6","locked":true,"editable":true},
         {"path":"p7","verify":true,"optional":true},
         {"path":"p8","protected":false,"locked":true},
         {"path":"p9","Protected":true}])",
     "",
     {{"p1", "", -1, false},
      {"p2", "", -1, true},
      {"p3", "", -1, false},
      {"p4", "", -1, true},
      {"p5", "", -1, false},
      {"p6", "", -1, false},
      {"p7", "", -1, false},
      {"p8", "", -1, true},
      {"p9", "", -1, false}}},
    {"size must be a JSON integer",
     R"([{"path":"f1","size":12.0},{"path":"f2","size":1e6},{"path":"f3","size":"123"},
         {"path":"f4","size":0},{"path":"f5","size":-5},{"path":"f6","size":18446744073709551615},
         {"path":"f7","size":9223372036854775807}])",
     "",
     {{"f1", "", -1, false},
      {"f2", "", -1, false},
      {"f3", "", -1, false},
      {"f4", "", 0, false},
      {"f5", "", -5, false},
      {"f6", "", -1, false},
      {"f7", "", 9223372036854775807LL, false}}},
    {"unusable elements dropped, order kept, duplicates kept",
     R"({"files":[{"path":"1"},{"path":""},{"md5":"x"},{"path":5},"str",7,null,true,[],[3],{"path":"2"},{"path":"1"}]})",
     "",
     {{"1", "", -1, false}, {"2", "", -1, false}, {"1", "", -1, false}}},
    {"md5 of the wrong type and case kept as written",
     R"([{"path":"a","md5":5},{"path":"b","md5":"ABC"},{"path":"c\\d.dll","md5":"NONE"}])",
     "",
     {{"a", "", -1, false}, {"b", "ABC", -1, false}, {"c\\d.dll", "NONE", -1, false}}},
    {"base_url of the wrong type, files not an array", R"({"base_url":5,"files":{"path":"a"}})", "", {}},
    {"base_url kept without files", R"({"base_url":"b"})", "b", {}},
    {"scalar roots", "\"text\"", "", {}},
    {"null root", "null", "", {}},
    {"empty body", "", "", {}},
    {"truncated JSON", R"({"files":[{"path":"a"})", "", {}},
    {"HTML error page", "<html><body>404 Not Found</body></html>", "", {}},
    {"comments are not JSON", "/* c */ [{\"path\":\"a\"}]", "", {}},
};

TEST(FileManifestTest, ParsesTable) {
  for (const ParseCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const FileManifest m = FileManifest::parse(c.text);
    EXPECT_EQ(m.base_url, c.base_url);
    ASSERT_EQ(m.files.size(), c.files.size());
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(m.files[i].path, c.files[i].path);
      EXPECT_EQ(m.files[i].md5, c.files[i].md5);
      EXPECT_EQ(m.files[i].size, c.files[i].size);
      EXPECT_EQ(m.files[i].is_protected, c.files[i].is_protected);
    }
  }
}

}  // namespace
}  // namespace zelvo::launcher
