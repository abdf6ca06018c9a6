#include "tools/dev_tls.hpp"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace zelvo::launcher {
namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free {
  void operator()(X509* p) const { X509_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

std::string openssl_error(const char* what) {
  unsigned long code = ERR_get_error();
  char buf[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, buf, sizeof buf);
  ERR_clear_error();
  return std::string(what) + ": " + buf;
}

// A P-256 key: fast to generate, accepted by every TLS stack in use.
PkeyPtr make_key() { return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256")); }

bool add_ext(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

bool set_random_serial(X509* cert) {
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof bytes) != 1) return false;
  bytes[0] &= 0x7f;  // keep the serial positive
  BIGNUM* bn = BN_bin2bn(bytes, sizeof bytes, nullptr);
  if (bn == nullptr) return false;
  bool ok = BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert)) != nullptr;
  BN_free(bn);
  return ok;
}

// Subject CN=common_name, valid from one hour ago for ten years (the hour
// absorbs clock skew between the machines of a local setup).
X509Ptr make_cert(const char* common_name, EVP_PKEY* key) {
  X509Ptr cert(X509_new());
  if (!cert) return nullptr;
  X509_NAME* name = X509_get_subject_name(cert.get());
  if (X509_set_version(cert.get(), 2) != 1 || !set_random_serial(cert.get()) ||
      X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) == nullptr ||
      X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600) == nullptr ||
      X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("Zelvo local"), -1, -1,
                                 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>(common_name), -1, -1,
                                 0) != 1 ||
      X509_set_pubkey(cert.get(), key) != 1)
    return nullptr;
  return cert;
}

bool write_pem_file(const std::string& path, EVP_PKEY* key, X509* cert, std::string& error) {
  // The private key is for this user only; certificates are public.
  const mode_t mode = key != nullptr ? 0600 : 0644;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0 || ::fchmod(fd, mode) != 0) {
    const int failure = errno;
    if (fd >= 0) ::close(fd);
    error = "cannot write " + path + ": " + std::strerror(failure);
    return false;
  }
  BioPtr bio(BIO_new_fd(fd, BIO_CLOSE));
  if (!bio) {
    ::close(fd);
    error = openssl_error(("cannot write " + path).c_str());
    return false;
  }
  bool ok = key != nullptr
                ? PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1
                : PEM_write_bio_X509(bio.get(), cert) == 1;
  if (!ok) error = openssl_error(("cannot write " + path).c_str());
  return ok;
}

}  // namespace

bool ensure_dev_tls(const std::string& dir, DevTlsFiles& out, std::string& error) {
  out.ca_cert = dir + "/ca.pem";
  out.server_cert = dir + "/server.pem";
  out.server_key = dir + "/server-key.pem";
  std::error_code ec;
  if (std::filesystem::is_regular_file(out.ca_cert, ec) &&
      std::filesystem::is_regular_file(out.server_cert, ec) &&
      std::filesystem::is_regular_file(out.server_key, ec))
    return true;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = "cannot create folder " + dir + ": " + ec.message();
    return false;
  }

  PkeyPtr ca_key = make_key();
  PkeyPtr server_key = make_key();
  if (!ca_key || !server_key) {
    error = openssl_error("key generation failed");
    return false;
  }

  X509Ptr ca = make_cert("Zelvo Local CA", ca_key.get());
  if (!ca || X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get())) != 1 ||
      !add_ext(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !add_ext(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
      !add_ext(ca.get(), ca.get(), NID_subject_key_identifier, "hash") ||
      X509_sign(ca.get(), ca_key.get(), EVP_sha256()) == 0) {
    error = openssl_error("cannot create the CA certificate");
    return false;
  }

  X509Ptr server = make_cert("localhost", server_key.get());
  if (!server || X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get())) != 1 ||
      !add_ext(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") ||
      !add_ext(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment") ||
      !add_ext(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") ||
      !add_ext(server.get(), ca.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
      !add_ext(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always") ||
      X509_sign(server.get(), ca_key.get(), EVP_sha256()) == 0) {
    error = openssl_error("cannot create the server certificate");
    return false;
  }

  // The CA last: only a complete set is reused on the next run.
  return write_pem_file(out.server_key, server_key.get(), nullptr, error) &&
         write_pem_file(out.server_cert, nullptr, server.get(), error) &&
         write_pem_file(out.ca_cert, nullptr, ca.get(), error);
}

}  // namespace zelvo::launcher
