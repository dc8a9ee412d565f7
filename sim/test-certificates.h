// Throwaway certificates for local https: a CA and a leaf signed by it, made
// in memory with OpenSSL (EC P-256, valid from a day ago for 30 days).
#pragma once

#include <string>
#include <vector>

namespace tessaly::sim {

struct TestCertificates {
  std::string caCertPem;
  std::string leafCertPem;
  std::string leafKeyPem;
};

// `dnsNames` may hold wildcards ("*.baidu.com"); `ipAddresses` are dotted IPv4.
// Empty PEM texts when OpenSSL fails.
TestCertificates MakeTestCertificates(const std::vector<std::string>& dnsNames,
                                      const std::vector<std::string>& ipAddresses);

// The certificates every TestServer uses, made once per process for
// wenku.baidu.com, *.baidu.com, localhost and 127.0.0.1.
const TestCertificates& SharedTestCertificates();

// Path of a PEM file holding the shared CA, written once per process into the
// temporary folder; usable as TESSALY_CA_BUNDLE. "" when it cannot be written.
const std::string& SharedTestCaBundlePath();

}  // namespace tessaly::sim
