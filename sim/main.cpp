// tessaly-docservice: the document-service simulator on loopback, for the
// demo and manual runs.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "doc-service.h"
#include "test-certificates.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: tessaly-docservice [options]\n"
    "Serves the bundled sample document and generated documents on 127.0.0.1.\n"
    "\n"
    "  --http-port N     port for http; 0 (the default) picks a free one\n"
    "  --https-port N    port for https; 0 (the default) picks a free one\n"
    "  --ca-out FILE     write the certificate authority (PEM) that verifies https\n"
    "  --ready-file FILE write \"HTTP_PORT HTTPS_PORT\" there once listening\n"
    "  --sample FILE     the sample document (default: sim/data/sample-essay.txt)\n"
    "  --text-address A  also serve a plain-text document \"txtsample\" whose file\n"
    "                    lies at address A\n"
    "  --help            this text\n"
    "\n"
    "Documents: /view/<id>.html for the sample's id, and gen<N> for a generated\n"
    "document of N pages (0..20000). Reach them as the real host with\n"
    "TESSALY_CONNECT_TO (printed at start) and TESSALY_CA_BUNDLE=<the --ca-out file>.\n"
    "Stops on SIGTERM or SIGINT.\n";

bool ParsePort(const std::string& text, int& port) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 0 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

int Usage(const std::string& message) {
  std::cerr << "tessaly-docservice: " << message << "\n" << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int httpPort = 0, httpsPort = 0;
  std::string caOut, readyFile, textAddress;
  std::string samplePath = tessaly::sim::DefaultSamplePath();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--http-port" || arg == "--https-port") {
      if (!value(text) || !ParsePort(text, arg == "--http-port" ? httpPort : httpsPort)) {
        return Usage(arg + " needs a port number from 0 to 65535");
      }
    } else if (arg == "--ca-out") {
      if (!value(caOut)) return Usage("--ca-out needs a file");
    } else if (arg == "--ready-file") {
      if (!value(readyFile)) return Usage("--ready-file needs a file");
    } else if (arg == "--sample") {
      if (!value(samplePath)) return Usage("--sample needs a file");
    } else if (arg == "--text-address") {
      if (!value(textAddress)) return Usage("--text-address needs an address");
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (httpPort != 0 || httpsPort != 0) {
    // The test server binds free ports only.
    return Usage("fixed ports are not supported; use 0 and read the ports from --ready-file");
  }

  // Signals are taken by sigwait below, not by whichever thread they hit.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  tessaly::sim::DocService service;
  tessaly::sim::SimDocument sample;
  if (!tessaly::sim::LoadSampleDocument(samplePath, sample)) {
    std::cerr << "tessaly-docservice: cannot read the sample document " << samplePath << "\n";
    return 1;
  }
  const std::string sampleId = sample.id;
  service.AddDocument(std::move(sample));
  if (!textAddress.empty()) {
    tessaly::sim::SimDocument text;
    text.id = "txtsample";
    text.title = "sample";
    text.docType = "txt";
    text.textDocumentAddress = textAddress;
    service.AddDocument(std::move(text));
  }
  if (!service.Start()) {
    std::cerr << "tessaly-docservice: cannot listen on 127.0.0.1\n";
    return 1;
  }
  if (!caOut.empty()) {
    std::ofstream out(caOut, std::ios::binary | std::ios::trunc);
    out << tessaly::sim::SharedTestCertificates().caCertPem;
    if (!out.flush()) {
      std::cerr << "tessaly-docservice: cannot write " << caOut << "\n";
      return 1;
    }
  }
  if (!readyFile.empty()) {
    // Written under another name and renamed, so a reader never sees half of it.
    const std::string partial = readyFile + ".part";
    {
      std::ofstream out(partial, std::ios::trunc);
      out << service.HttpPort() << " " << service.HttpsPort() << "\n";
    }
    if (std::rename(partial.c_str(), readyFile.c_str()) != 0) {
      std::cerr << "tessaly-docservice: cannot write " << readyFile << "\n";
      return 1;
    }
  }
  std::cout << "http " << service.HttpPort() << " https " << service.HttpsPort() << "\n"
            << "TESSALY_CONNECT_TO=" << service.ConnectTo() << "\n"
            << "sample: " << tessaly::sim::DocService::ViewAddress(sampleId) << "\n"
            << std::flush;

  int received = 0;
  sigwait(&signals, &received);
  service.Stop();
  return 0;
}
