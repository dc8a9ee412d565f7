#include "web/web-settings.h"

#include <curl/curl.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "support/text.h"
#include "web/curl-transfer.h"

namespace tessaly {

namespace {

std::mutex settingsMutex;
std::shared_ptr<const WebSettings> settings;

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return !in.bad();
}

std::string SystemCaFile() {
  EnsureCurlInitialised();
  std::string path;
  if (CURL* easy = curl_easy_init()) {
    char* info = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &info) == CURLE_OK && info) path = info;
    curl_easy_cleanup(easy);
  }
  if (path.empty()) path = "/etc/ssl/certs/ca-certificates.crt";
  return path;
}

std::shared_ptr<x509_store_st> ParseStore(const std::string& pem) {
  if (pem.find("-----BEGIN CERTIFICATE-----") == std::string::npos) return nullptr;
  std::shared_ptr<X509_STORE> store(X509_STORE_new(), X509_STORE_free);
  if (!store) return nullptr;
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (!bio) return nullptr;
  STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (!infos) return nullptr;
  int added = 0;
  for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
    X509_INFO* info = sk_X509_INFO_value(infos, i);
    if (info->x509 && X509_STORE_add_cert(store.get(), info->x509) == 1) ++added;
  }
  sk_X509_INFO_pop_free(infos, X509_INFO_free);
  if (added == 0) return nullptr;
  return store;
}

std::shared_ptr<const WebSettings> ReadSettings() {
  auto result = std::make_shared<WebSettings>();
  if (const char* connectTo = std::getenv("TESSALY_CONNECT_TO"))
    result->connectTo = ParseConnectTo(connectTo);
  if (const char* bundle = std::getenv("TESSALY_CA_BUNDLE")) {
    result->caBundlePath = bundle;
    std::string extra;
    if (!result->caBundlePath.empty() && ReadWholeFile(result->caBundlePath, extra) &&
        extra.find("-----BEGIN CERTIFICATE-----") != std::string::npos) {
      std::string system;
      ReadWholeFile(SystemCaFile(), system);
      result->caBlob = system + "\n" + extra + "\n";
    }
  }
  if (!result->caBlob.empty()) {
    result->caStore = ParseStore(result->caBlob);
  } else {
    std::string system;
    if (ReadWholeFile(SystemCaFile(), system)) result->caStore = ParseStore(system);
  }
  return result;
}

}  // namespace

std::vector<std::string> ParseConnectTo(const std::string& value) {
  std::vector<std::string> entries;
  for (const Text& piece : SplitText(value, ",")) {
    const Text entry = TrimSpaces(piece);
    if (entry.empty()) continue;
    const TextList parts = SplitText(entry, ":");
    if (parts.size() != 4) continue;
    const Text& host1 = parts[0];
    const Text& port1 = parts[1];
    const Text& host2 = parts[2];
    const Text& port2 = parts[3];
    if (!port1.empty() && !AllDigits(port1)) continue;
    if (!port2.empty() && !AllDigits(port2)) continue;
    bool clean = true;
    for (const Text* part : {&host1, &host2})
      for (char c : *part)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) clean = false;
    if (!clean) continue;
    // Lower-cased so that a match never depends on how HOST1 was written.
    entries.push_back(AsciiLowerText(host1) + ":" + port1 + ":" + host2 + ":" + port2);
  }
  return entries;
}

std::shared_ptr<const WebSettings> CurrentWebSettings() {
  std::lock_guard lock(settingsMutex);
  if (!settings) settings = ReadSettings();
  return settings;
}

void ReloadWebSettingsForTesting() {
  auto fresh = ReadSettings();
  std::lock_guard lock(settingsMutex);
  settings = std::move(fresh);
}

}  // namespace tessaly
