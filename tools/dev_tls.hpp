#pragma once

#include <string>

namespace zelvo::launcher {

struct DevTlsFiles {
  std::string ca_cert;      // PEM of the CA, the file a launcher trusts through ca_file
  std::string server_cert;  // PEM of the server certificate for 127.0.0.1 and localhost
  std::string server_key;   // PEM of its private key
};

// Creates a CA and a server certificate signed by it in dir (reusing them when
// all three files are already there). False with an English reason on failure.
bool ensure_dev_tls(const std::string& dir, DevTlsFiles& out, std::string& error);

}  // namespace zelvo::launcher
