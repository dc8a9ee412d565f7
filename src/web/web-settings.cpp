#include "web/web-settings.h"

#include <curl/curl.h>

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
