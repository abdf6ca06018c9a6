#pragma once

#include <string>
#include <vector>

namespace zelvo::launcher {

// A shell-style pattern matched against a whole relative path with '/'
// separators: '*' and '?' stay inside one folder level, '[...]' is a set
// ('!' or '^' negates, 'a-z' ranges), '**' crosses folders ("**/" also
// matches no folder at all), and '\' takes the next character literally.
class GlobPattern {
 public:
  // False with an English reason for an empty pattern, an unclosed '[',
  // a reversed range or a trailing '\'.
  static bool compile(const std::string& text, GlobPattern& out, std::string& error);

  bool matches(const std::string& path) const;

 private:
  enum class Kind { Literal, AnyChar, Star, GlobStar, AnyFolders, Set };
  struct Token {
    Kind kind = Kind::Literal;
    char ch = 0;
    bool negated = false;
    std::vector<std::pair<unsigned char, unsigned char>> ranges;
  };

  bool set_matches(const Token& token, unsigned char c) const;

  std::vector<Token> tokens_;
};

}  // namespace zelvo::launcher
