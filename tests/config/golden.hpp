#pragma once

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher::test {

// Bytes of a file under tests/data/config.
inline std::string golden(const std::string& name) {
  const char* root = std::getenv("ZELVO_TEST_DATA");
  const std::string base = root && *root ? root : ZELVO_SOURCE_TEST_DATA;
  return read_text_file(base + "/config/" + name);
}

}  // namespace zelvo::launcher::test
