#include "test-certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

namespace tessaly::sim {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (!extension) return false;
  const bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

CertPtr NewCertificate(EVP_PKEY* key, const char* commonName, long serial) {
  CertPtr cert(X509_new());
  if (!cert) return nullptr;
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Tessaly test"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  return cert;
}

std::string CertificatePem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  std::string pem;
  if (bio && PEM_write_bio_X509(bio, cert) == 1) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    pem.assign(data, static_cast<std::size_t>(length));
  }
  BIO_free(bio);
  return pem;
}

std::string KeyPem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  std::string pem;
  if (bio && PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr) == 1) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    pem.assign(data, static_cast<std::size_t>(length));
  }
  BIO_free(bio);
  return pem;
}

}  // namespace

TestCertificates MakeTestCertificates(const std::vector<std::string>& dnsNames,
                                      const std::vector<std::string>& ipAddresses) {
  TestCertificates result;
  KeyPtr caKey(EVP_EC_gen("P-256"));
  KeyPtr leafKey(EVP_EC_gen("P-256"));
  if (!caKey || !leafKey) return result;

  CertPtr ca = NewCertificate(caKey.get(), "Tessaly test CA", 1);
  if (!ca) return result;
  X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
  bool ok = AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") &&
            AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
            AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash") &&
            X509_sign(ca.get(), caKey.get(), EVP_sha256()) > 0;
  if (!ok) return result;

  const char* leafName = dnsNames.empty() ? "localhost" : dnsNames.front().c_str();
  CertPtr leaf = NewCertificate(leafKey.get(), leafName, 2);
  if (!leaf) return result;
  X509_set_issuer_name(leaf.get(), X509_get_subject_name(ca.get()));
  std::string altNames;
  for (const std::string& dns : dnsNames) altNames += (altNames.empty() ? "DNS:" : ",DNS:") + dns;
  for (const std::string& ip : ipAddresses) altNames += (altNames.empty() ? "IP:" : ",IP:") + ip;
  ok = AddExtension(leaf.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") &&
       AddExtension(leaf.get(), ca.get(), NID_key_usage, "critical,digitalSignature") &&
       AddExtension(leaf.get(), ca.get(), NID_ext_key_usage, "serverAuth") &&
       AddExtension(leaf.get(), ca.get(), NID_subject_key_identifier, "hash") &&
       AddExtension(leaf.get(), ca.get(), NID_authority_key_identifier, "keyid:always") &&
       (altNames.empty() || AddExtension(leaf.get(), ca.get(), NID_subject_alt_name, altNames)) &&
       X509_sign(leaf.get(), caKey.get(), EVP_sha256()) > 0;
  if (!ok) return result;

  result.caCertPem = CertificatePem(ca.get());
  result.leafCertPem = CertificatePem(leaf.get());
  result.leafKeyPem = KeyPem(leafKey.get());
  return result;
}

const TestCertificates& SharedTestCertificates() {
  static const TestCertificates certificates =
      MakeTestCertificates({"wenku.baidu.com", "*.baidu.com", "localhost"}, {"127.0.0.1"});
  return certificates;
}

const std::string& SharedTestCaBundlePath() {
  static const std::string path = [] {
    const std::string& pem = SharedTestCertificates().caCertPem;
    if (pem.empty()) return std::string();
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return std::string();
    const std::filesystem::path file =
        folder / ("tessaly-test-ca-" + std::to_string(::getpid()) + ".pem");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << pem;
    out.close();
    if (!out) return std::string();
    return file.string();
  }();
  static std::once_flag cleanup;
  std::call_once(cleanup, [] {
    if (!path.empty()) std::atexit([] { std::remove(path.c_str()); });
  });
  return path;
}

}  // namespace tessaly::sim
