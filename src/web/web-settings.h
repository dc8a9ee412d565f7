// Deployment settings that every request path honours, read from the
// environment at first use:
//
//   TESSALY_CONNECT_TO  HOST1:PORT1:HOST2:PORT2[,...]  A request for HOST1:PORT1
//                       is sent to HOST2:PORT2; the Host header and the TLS server
//                       name stay HOST1. HOST1 is compared without regard to case;
//                       an empty HOST1 or PORT1 matches any.
//   TESSALY_CA_BUNDLE   A PEM file of extra certificate authorities, trusted
//                       together with the system's store.
//
// They let tests and the demo point the real host names at a local service
// without weakening certificate verification.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct x509_store_st;

namespace tessaly {

struct WebSettings {
  // Entries in libcurl's connect-to form, HOST1 lower-cased.
  std::vector<std::string> connectTo;
  std::string caBundlePath;
  // The system store followed by the extra authorities; empty when no extra
  // bundle is configured or it cannot be read (the system store alone is used).
  std::string caBlob;
  // The trusted authorities parsed once: parsing the system bundle for every
  // TLS handshake costs tens of milliseconds of CPU. Empty when it could not be
  // built (libcurl then loads the files itself).
  std::shared_ptr<x509_store_st> caStore;
};

// A snapshot that stays valid while the caller holds it.
std::shared_ptr<const WebSettings> CurrentWebSettings();

// Parses a TESSALY_CONNECT_TO value; malformed entries are skipped.
std::vector<std::string> ParseConnectTo(const std::string& value);

// Reads the environment again; for tests that change it after first use.
void ReloadWebSettingsForTesting();

}  // namespace tessaly
