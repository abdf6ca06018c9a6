#include "tools/cdn_glob.hpp"

namespace zelvo::launcher {

bool GlobPattern::compile(const std::string& text, GlobPattern& out, std::string& error) {
  if (text.empty()) {
    error = "empty pattern";
    return false;
  }
  std::vector<Token> tokens;
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = text[i];
    Token token;
    if (c == '\\') {
      if (i + 1 >= n) {
        error = "pattern '" + text + "' ends with '\\'";
        return false;
      }
      token.ch = text[i + 1];
      i += 2;
    } else if (c == '*') {
      std::size_t end = i;
      while (end < n && text[end] == '*') ++end;
      if (end - i == 1) {
        token.kind = Kind::Star;
        i = end;
      } else if (end < n && text[end] == '/' && (i == 0 || text[i - 1] == '/')) {
        token.kind = Kind::AnyFolders;
        i = end + 1;
      } else {
        token.kind = Kind::GlobStar;
        i = end;
      }
    } else if (c == '?') {
      token.kind = Kind::AnyChar;
      ++i;
    } else if (c == '[') {
      token.kind = Kind::Set;
      std::size_t j = i + 1;
      if (j < n && (text[j] == '!' || text[j] == '^')) {
        token.negated = true;
        ++j;
      }
      bool closed = false;
      bool first = true;
      while (j < n) {
        if (text[j] == ']' && !first) {
          closed = true;
          ++j;
          break;
        }
        first = false;
        if (text[j] == '\\' && j + 1 < n) ++j;
        const auto low = static_cast<unsigned char>(text[j]);
        ++j;
        auto high = low;
        if (j + 1 < n && text[j] == '-' && text[j + 1] != ']') {
          ++j;
          if (text[j] == '\\' && j + 1 < n) ++j;
          high = static_cast<unsigned char>(text[j]);
          ++j;
          if (high < low) {
            error = "pattern '" + text + "' has a reversed range";
            return false;
          }
        }
        token.ranges.emplace_back(low, high);
      }
      if (!closed) {
        error = "pattern '" + text + "' has an unclosed '['";
        return false;
      }
      i = j;
    } else {
      token.ch = c;
      ++i;
    }
    tokens.push_back(std::move(token));
  }
  out.tokens_ = std::move(tokens);
  return true;
}

bool GlobPattern::set_matches(const Token& token, unsigned char c) const {
  bool in = false;
  for (const auto& [low, high] : token.ranges) {
    if (c >= low && c <= high) {
      in = true;
      break;
    }
  }
  return in != token.negated;
}

bool GlobPattern::matches(const std::string& path) const {
  // Table of "tokens from t on match path from s on", filled from the end,
  // so stars never backtrack exponentially.
  const std::size_t n = path.size();
  const std::size_t count = tokens_.size();
  std::vector<char> next(n + 1, 0);
  next[n] = 1;
  std::vector<char> cur(n + 1, 0);
  for (std::size_t t = count; t-- > 0;) {
    const Token& token = tokens_[t];
    bool folder_tail = false;  // some k > s with path[k-1] == '/' and next[k]
    for (std::size_t s = n + 1; s-- > 0;) {
      const bool has = s < n;
      const unsigned char c = has ? static_cast<unsigned char>(path[s]) : 0;
      bool ok = false;
      switch (token.kind) {
        case Kind::Literal:
          ok = has && path[s] == token.ch && next[s + 1];
          break;
        case Kind::AnyChar:
          ok = has && c != '/' && next[s + 1];
          break;
        case Kind::Set:
          ok = has && c != '/' && set_matches(token, c) && next[s + 1];
          break;
        case Kind::Star:
          ok = next[s] || (has && c != '/' && cur[s + 1]);
          break;
        case Kind::GlobStar:
          ok = next[s] || (has && cur[s + 1]);
          break;
        case Kind::AnyFolders:
          if (has && c == '/' && next[s + 1]) folder_tail = true;
          ok = next[s] || folder_tail;
          break;
      }
      cur[s] = ok ? 1 : 0;
    }
    next.swap(cur);
  }
  return next[0] != 0;
}

}  // namespace zelvo::launcher
