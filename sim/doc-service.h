// A local stand-in for the document service, on the test server: view pages
// with the document's script data and its json and png lists, batch view pages,
// page content data, page pictures, and the faults a real network shows.
//
// Texts are GBK bytes, as the service sends them. Addresses use the service's
// host name; TESSALY_CONNECT_TO (ConnectTo()) sends that host to this server.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "test-server.h"

namespace tessaly::sim {

inline constexpr const char* kServiceHost = "wenku.baidu.com";

// One text item of a page's content data.
struct SimItem {
  std::string text;  // GBK; escaped for JSON when served (non-ASCII as \uXXXX)
  double y = 0;
  double h = 20;
  std::string ps = "{}";  // the raw JSON value of the item's paragraph style
};

enum class Fault {
  kNone,
  kNotFound,    // 404 with a small error page
  kEmptyBody,   // 200 with nothing in it
  kCutOff,      // 200 with the first half of the content only
  kNoItemList,  // 200 with content lacking the body list
  kStall,       // never answers
  kClose,       // closes the connection without an answer
};

struct SimPage {
  std::vector<SimItem> items;
  std::string rawContent;  // when not empty, served as the content data instead
  Fault fault = Fault::kNone;
  // The first `slowAnswers` content requests of this page wait `slowDelay`.
  int slowAnswers = 0;
  std::chrono::milliseconds slowDelay{0};

  // The page's picture: a valid PNG of imageBytes bytes (0: none listed).
  std::size_t imageBytes = 1500;
  bool imageContentLength = true;  // false: no Content-Length, closed after the body
};

struct SimDocument {
  std::string id;               // docId, used in the addresses as it is
  std::string title;            // GBK, written into the script data as it is
  std::string docType = "doc";  // as written into the script data
  std::string totalPageNum;     // as written; empty: the number of pages
  std::vector<SimPage> pages;
  // docType "txt": the file's address, written with "\/" as the page escapes it.
  std::string textDocumentAddress;

  Fault viewFault = Fault::kNone;  // for every view page of the document
  std::size_t viewPadding = 0;     // filler bytes before the script data
  bool emptyLists = false;         // the json and png lists hold no entry
  std::string contentScheme = "https";
  std::chrono::milliseconds latency{0};  // before every answer about it
};

// The text of a generated document: page p has 3 + p % 4 lines. Lines are GBK,
// built from the document id, the page and the line number, so two documents
// or two pages never read alike. The lines of odd pages end by a paragraph
// style, those of even pages by a trailing space and a vertical gap; that space
// is part of the line.
std::vector<std::string> GeneratedPageLines(const std::string& id, int page);
// The page file that the system should make of the page: each line, trimmed of
// its ASCII spaces when trimLines, followed by CR LF. Blank-line deletion does
// not change it (generated pages have no blank line).
std::string GeneratedPageFile(const std::string& id, int page, bool trimLines);
// The whole result text: every page file in page order.
std::string GeneratedDocumentText(const std::string& id, int pageCount, bool trimLines);
// A document of that many pages (any count); each line becomes several items.
SimDocument GeneratedDocument(const std::string& id, int pageCount);
// A page whose lines are laid out the same way as a generated page's.
SimPage PageFromLines(const std::vector<std::string>& lines, bool endByStyle);
// Lines of `itemCount` items in all, for timing one large page.
SimPage LargePage(int itemCount);

// The bundled sample: a document read from a UTF-8 file (see sim/data).
// False when the file cannot be read or holds no page.
bool LoadSampleDocument(const std::string& path, SimDocument& document);
// The text the system should extract from a sample file with the default
// options (blank lines deleted, lines not trimmed), GBK.
std::string SampleDocumentText(const std::string& path);
// sim/data/sample-essay.txt of this source tree.
std::string DefaultSamplePath();

// A valid PNG of exactly `bytes` bytes when that is at least 113 (else the
// smallest one), deterministic per seed.
std::string MakePng(std::size_t bytes, unsigned seed);

// The page's content data as the service serves it.
std::string PageContentJson(const SimPage& page, int pageNumber);
// JSON string content for a GBK text: quotes, backslashes and control
// characters escaped, non-ASCII characters as \uXXXX.
std::string EscapeJsonText(const std::string& gbk);

class DocService {
 public:
  DocService();
  ~DocService();  // Stop()
  DocService(const DocService&) = delete;
  DocService& operator=(const DocService&) = delete;

  // Loopback, free ports. False when the server cannot listen.
  bool Start();
  void Stop();

  int HttpPort() const;
  int HttpsPort() const;
  // "wenku.baidu.com:443:127.0.0.1:HTTPS,wenku.baidu.com:80:127.0.0.1:HTTP".
  std::string ConnectTo() const;
  std::string CaBundlePath() const;
  // Sets TESSALY_CONNECT_TO and TESSALY_CA_BUNDLE to this service and clears the
  // proxy variables, for a process about to reach the service. The web settings
  // are read once: a process that has already made a request reloads them.
  void ExportEnvironment() const;

  // Replaces a document of the same id. Ids "gen<N>" (N from 0 to 20000) not
  // added explicitly are served as GeneratedDocument(id, N).
  void AddDocument(SimDocument document);
  std::shared_ptr<const SimDocument> Document(const std::string& id) const;

  std::vector<RecordedRequest> Requests() const;
  void ClearRequests();
  TestServer& Server() { return server_; }

  // "https://wenku.baidu.com/view/ID.html".
  static std::string ViewAddress(const std::string& id, bool https = true);
  static std::string ContentAddress(const SimDocument& document, int page);
  static std::string ImageAddress(const SimDocument& document, int page);

  // The view page for the pages from `firstPage` on (1 for the first view page).
  static std::string ViewPage(const SimDocument& document, int firstPage);

 private:
  ScriptedReply AnswerView(const RecordedRequest& request);
  ScriptedReply AnswerContent(const RecordedRequest& request);
  ScriptedReply AnswerImage(const RecordedRequest& request);
  std::shared_ptr<const SimDocument> Find(const std::string& id);

  TestServer server_;
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const SimDocument>> documents_;
  std::map<std::string, int> contentRequests_;  // "id/page" -> requests so far
};

}  // namespace tessaly::sim
