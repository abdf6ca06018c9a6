#pragma once

#include <string>

#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher::test {

// Bytes of a file under tests/data/config.
inline std::string golden(const std::string& name) {
  return read_text_file(std::string(ZELVO_TEST_DATA_DIR) + "/config/" + name);
}

}  // namespace zelvo::launcher::test
