#include "doc-service.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/codepage.h"
#include "support/text.h"
#include "test-certificates.h"

namespace tessaly::sim {
namespace {

constexpr int kPagesPerViewPage = 50;
constexpr int kMaxGeneratedPages = 20000;
constexpr std::size_t kCharsPerItem = 6;
constexpr double kLineHeight = 20;
constexpr double kLineStep = 28;
constexpr double kTopMargin = 60;
const std::string kEnterStyle = "{\"_enter\":1}";

std::string Number(double value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

// GBK characters of a text, a lead byte with its trailing byte.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> characters;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t width = CharWidthAt(text, i);
    characters.push_back(text.substr(i, width));
    i += width;
  }
  return characters;
}

// Phrases of the generated text, UTF-8 here and GBK when used.
const std::array<const char*, 12> kPhrases = {
    "清晨的薄雾慢慢散开",   "河岸上站着一排柳树", "He said \"ok\" twice", "窗台上的茶已经凉了",
    "path C:\\docs\\a.txt", "远处传来火车的汽笛", "it's 50% done",        "纸上的墨迹还没有干",
    "a{b}c [d] e,f",        "风把门轻轻推开一半", "一只猫从墙头跳下来",   "数字 0123456789",
};

std::uint32_t Mix(const std::string& id, int page, int line) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : id) h = (h ^ c) * 16777619u;
  h = (h ^ static_cast<std::uint32_t>(page)) * 16777619u;
  h = (h ^ static_cast<std::uint32_t>(line)) * 16777619u;
  return h;
}

std::string Utf8(const char* text) { return Utf8ToGbk(text); }

ScriptedReply FaultReply(Fault fault, const std::string& content) {
  switch (fault) {
    case Fault::kNone:
      break;
    case Fault::kNotFound:
      return ScriptedReply::Status(404, "<html><body>404 Not Found</body></html>");
    case Fault::kEmptyBody:
      return ScriptedReply::Ok("", "application/json");
    case Fault::kCutOff:
      return ScriptedReply::Ok(content.substr(0, content.size() / 2), "application/json");
    case Fault::kNoItemList:
      return ScriptedReply::Ok("{\"error_code\":1,\"error_msg\":\"page not ready\"}",
                               "application/json");
    case Fault::kStall:
      return ScriptedReply::Stall();
    case Fault::kClose:
      return ScriptedReply::Close();
  }
  return ScriptedReply::Ok(content);
}

// The address as the page's script string writes it: every "/" as "\\\/".
std::string ListEscaped(const std::string& address) {
  std::string out;
  for (char c : address) {
    if (c == '/')
      out += "\\\\\\/";
    else
      out += c;
  }
  return out;
}

std::string ListEntry(int page, const std::string& address) {
  return "{\\x22pageIndex\\x22:" + std::to_string(page) + ",\\x22pageLoadUrl\\x22:\\x22" +
         ListEscaped(address) + "\\x22}";
}

// "/sim/content/ID/7.json" -> id and page; false when it does not parse.
bool SplitResource(const std::string& path, const std::string& prefix, const std::string& suffix,
                   std::string& id, int& page) {
  if (path.size() <= prefix.size() + suffix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const std::string rest = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
  const std::size_t slash = rest.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  id = rest.substr(0, slash);
  const std::string number = rest.substr(slash + 1);
  const auto result = std::from_chars(number.data(), number.data() + number.size(), page);
  return result.ec == std::errc() && result.ptr == number.data() + number.size();
}

std::string QueryValue(const std::string& query, const std::string& key) {
  for (const std::string& piece : SplitText(query, "&")) {
    if (piece.compare(0, key.size() + 1, key + "=") == 0) return piece.substr(key.size() + 1);
  }
  return {};
}

std::uint32_t Crc32(const std::string& data) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : data) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBigEndian(png, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  png += typed;
  PutBigEndian(png, Crc32(typed));
}

}  // namespace

std::vector<std::string> GeneratedPageLines(const std::string& id, int page) {
  std::vector<std::string> lines;
  const int count = 3 + page % 4;
  const bool endBySpace = page % 2 == 0;
  for (int line = 1; line <= count; ++line) {
    // 第P页第L行：
    std::string text =
        Utf8("第") + std::to_string(page) + Utf8("页第") + std::to_string(line) + Utf8("行：");
    text += Utf8(kPhrases[Mix(id, page, line) % kPhrases.size()]);
    text += " " + id;
    if (endBySpace) text += " ";
    lines.push_back(std::move(text));
  }
  return lines;
}

std::string GeneratedPageFile(const std::string& id, int page, bool trimLines) {
  std::string file;
  for (std::string line : GeneratedPageLines(id, page)) {
    if (trimLines) {
      const std::size_t first = line.find_first_not_of(' ');
      const std::size_t last = line.find_last_not_of(' ');
      line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
    }
    file += line + "\r\n";
  }
  return file;
}

std::string GeneratedDocumentText(const std::string& id, int pageCount, bool trimLines) {
  std::string text;
  for (int page = 1; page <= pageCount; ++page) text += GeneratedPageFile(id, page, trimLines);
  return text;
}

SimPage PageFromLines(const std::vector<std::string>& lines, bool endByStyle) {
  SimPage page;
  double y = kTopMargin;
  for (const std::string& line : lines) {
    const std::vector<std::string> characters = Characters(line);
    std::size_t start = 0;
    do {
      const std::size_t end = std::min(characters.size(), start + kCharsPerItem);
      SimItem item;
      for (std::size_t i = start; i < end; ++i) item.text += characters[i];
      item.y = y;
      item.h = kLineHeight;
      if (end == characters.size() && endByStyle) item.ps = kEnterStyle;
      page.items.push_back(std::move(item));
      start = end;
    } while (start < characters.size());
    y += kLineStep;
  }
  return page;
}

SimDocument GeneratedDocument(const std::string& id, int pageCount) {
  SimDocument document;
  document.id = id;
  document.title = Utf8("生成的文档") + " " + id;  // 生成的文档
  for (int page = 1; page <= pageCount; ++page) {
    SimPage simPage = PageFromLines(GeneratedPageLines(id, page), page % 2 == 1);
    // Odd pages have pictures over the size threshold, even pages small ones.
    simPage.imageBytes = page % 2 == 1 ? 1200 + static_cast<std::size_t>(page) : 600;
    document.pages.push_back(std::move(simPage));
  }
  return document;
}

SimPage LargePage(int itemCount) {
  SimPage page;
  const std::string word = Utf8("文字");
  for (int i = 0; i < itemCount; ++i) {
    SimItem item;
    item.text = word + std::to_string(i);
    item.y = kTopMargin + (i / 10) * kLineStep;
    item.h = kLineHeight;
    if (i % 10 == 9) item.ps = kEnterStyle;
    page.items.push_back(std::move(item));
  }
  return page;
}

std::string EscapeJsonText(const std::string& gbk) {
  std::string out;
  out.reserve(gbk.size() * 3);
  static const char* hex = "0123456789abcdef";
  auto unit = [&](char16_t u) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 0xF];
  };
  for (std::size_t i = 0; i < gbk.size();) {
    const unsigned char c = static_cast<unsigned char>(gbk[i]);
    const std::size_t width = CharWidthAt(gbk, i);
    if (c >= 0x80) {
      for (char16_t u : GbkToUtf16(gbk.substr(i, width))) unit(u);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '%' || c < 0x20) {
      // A "%" would be read as an escape by the page decoding.
      unit(c);
    } else {
      out += static_cast<char>(c);
    }
    i += width;
  }
  return out;
}

std::string PageContentJson(const SimPage& page, int pageNumber) {
  if (!page.rawContent.empty()) return page.rawContent;
  std::string body;
  for (const SimItem& item : page.items) {
    if (!body.empty()) body += ',';
    body += "{\"c\":\"" + EscapeJsonText(item.text) + "\",\"p\":{\"h\":" + Number(item.h) +
            ",\"w\":" + Number(12.0 * static_cast<double>(item.text.size())) +
            ",\"x\":90,\"y\":" + Number(item.y) + ",\"z\":1},\"ps\":" + item.ps +
            ",\"s\":{\"font-size\":\"16\"},\"t\":\"word\",\"r\":[1]}";
  }
  return "{\"version\":2,\"content\":[],\"body\":[" + body +
         "],\"page\":{\"ph\":1262,\"pw\":892,\"pn\":" + std::to_string(pageNumber) +
         "},\"font\":{},\"style\":[]}";
}

std::string MakePng(std::size_t bytes, unsigned seed) {
  // Signature, IHDR, IDAT framing with one stored block, IEND.
  constexpr std::size_t kOverhead = 8 + 25 + 12 + 2 + 5 + 4 + 12;
  constexpr std::size_t kPadChunk = 12;
  const std::size_t width = 32;
  const std::size_t rowBytes = width + 1;
  std::size_t rows =
      bytes > kOverhead + kPadChunk + rowBytes ? (bytes - kOverhead - kPadChunk) / rowBytes : 1;
  rows = std::min<std::size_t>(rows, 65535 / rowBytes);  // one stored block
  std::string raw;
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t r = 0; r < rows; ++r) {
    raw += '\0';  // filter: none
    for (std::size_t x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      raw += static_cast<char>((state >> 16) & 0xFF);
    }
  }
  // A zlib stream of one stored block, so no compressor is needed.
  std::string zlib = "\x78\x01\x01";
  zlib += static_cast<char>(raw.size() & 0xFF);
  zlib += static_cast<char>(raw.size() >> 8);
  zlib += static_cast<char>(~raw.size() & 0xFF);
  zlib += static_cast<char>((~raw.size() >> 8) & 0xFF);
  zlib += raw;
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(zlib, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1A\n";
  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(rows));
  header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit greyscale
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  // An ancillary private chunk brings the file to exactly the size asked for.
  if (png.size() + kPadChunk + 12 <= bytes) {
    PutChunk(png, "paDd", std::string(bytes - png.size() - kPadChunk - 12, '\0'));
  }
  PutChunk(png, "IEND", "");
  return png;
}

bool LoadSampleDocument(const std::string& path, SimDocument& document) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  SimDocument loaded;
  std::vector<std::vector<std::string>> pages;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("#", 0) == 0) continue;
    if (line == "@page") {
      pages.emplace_back();
      continue;
    }
    if (pages.empty()) {
      const std::size_t colon = line.find(": ");
      if (colon == std::string::npos) continue;
      const std::string key = line.substr(0, colon);
      const std::string value = line.substr(colon + 2);
      if (key == "id")
        loaded.id = value;
      else if (key == "title")
        loaded.title = Utf8ToGbk(value);
      else if (key == "type")
        loaded.docType = value;
      continue;
    }
    // A blank paragraph is a line of one space, which blank-line deletion removes.
    pages.back().push_back(line.empty() ? std::string(" ") : Utf8ToGbk(line));
  }
  if (pages.empty() || loaded.id.empty()) return false;
  for (std::vector<std::string>& lines : pages) {
    while (!lines.empty() && lines.front() == " ") lines.erase(lines.begin());
    while (!lines.empty() && lines.back() == " ") lines.pop_back();
    SimPage page = PageFromLines(lines, true);
    page.imageBytes = 4000;
    loaded.pages.push_back(std::move(page));
  }
  document = std::move(loaded);
  return true;
}

std::string SampleDocumentText(const std::string& path) {
  SimDocument document;
  if (!LoadSampleDocument(path, document)) return {};
  std::string text;
  for (const SimPage& page : document.pages) {
    std::string line;
    for (const SimItem& item : page.items) {
      line += item.text;
      if (item.ps != kEnterStyle) continue;
      if (line != " ") text += line + "\r\n";
      line.clear();
    }
  }
  return text;
}

std::string DefaultSamplePath() {
  std::string here = __FILE__;
  const std::size_t slash = here.rfind('/');
  return (slash == std::string::npos ? std::string(".") : here.substr(0, slash)) +
         "/data/sample-essay.txt";
}

DocService::DocService() {
  server_.RoutePrefix("/view/",
                      [this](const RecordedRequest& request) { return AnswerView(request); });
  server_.RoutePrefix("/sim/content/",
                      [this](const RecordedRequest& request) { return AnswerContent(request); });
  server_.RoutePrefix("/sim/image/",
                      [this](const RecordedRequest& request) { return AnswerImage(request); });
}

DocService::~DocService() { Stop(); }

bool DocService::Start() { return server_.Start(); }
void DocService::Stop() { server_.Stop(); }
int DocService::HttpPort() const { return server_.HttpPort(); }
int DocService::HttpsPort() const { return server_.HttpsPort(); }

std::string DocService::ConnectTo() const {
  return std::string(kServiceHost) + ":443:127.0.0.1:" + std::to_string(HttpsPort()) + "," +
         kServiceHost + ":80:127.0.0.1:" + std::to_string(HttpPort());
}

std::string DocService::CaBundlePath() const { return server_.CaBundlePath(); }

void DocService::ExportEnvironment() const {
  ::setenv("TESSALY_CONNECT_TO", ConnectTo().c_str(), 1);
  ::setenv("TESSALY_CA_BUNDLE", CaBundlePath().c_str(), 1);
  for (const char* name :
       {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) {
    ::unsetenv(name);
  }
}

void DocService::AddDocument(SimDocument document) {
  std::lock_guard lock(mutex_);
  const std::string id = document.id;
  documents_[id] = std::make_shared<const SimDocument>(std::move(document));
}

std::shared_ptr<const SimDocument> DocService::Document(const std::string& id) const {
  std::lock_guard lock(mutex_);
  const auto found = documents_.find(id);
  return found == documents_.end() ? nullptr : found->second;
}

std::shared_ptr<const SimDocument> DocService::Find(const std::string& id) {
  if (auto document = Document(id)) return document;
  if (id.size() < 4 || id.size() > 9 || id.compare(0, 3, "gen") != 0) return nullptr;
  int pages = -1;
  const auto result = std::from_chars(id.data() + 3, id.data() + id.size(), pages);
  if (result.ec != std::errc() || result.ptr != id.data() + id.size() || pages < 0 ||
      pages > kMaxGeneratedPages) {
    return nullptr;
  }
  AddDocument(GeneratedDocument(id, pages));
  return Document(id);
}

std::vector<RecordedRequest> DocService::Requests() const { return server_.Requests(); }
void DocService::ClearRequests() { server_.ClearRequests(); }

std::string DocService::ViewAddress(const std::string& id, bool https) {
  return std::string(https ? "https://" : "http://") + kServiceHost + "/view/" + id + ".html";
}

std::string DocService::ContentAddress(const SimDocument& document, int page) {
  return document.contentScheme + "://" + kServiceHost + "/sim/content/" + document.id + "/" +
         std::to_string(page) + ".json";
}

std::string DocService::ImageAddress(const SimDocument& document, int page) {
  return document.contentScheme + "://" + kServiceHost + "/sim/image/" + document.id + "/" +
         std::to_string(page) + ".png";
}

std::string DocService::ViewPage(const SimDocument& document, int firstPage) {
  const std::string crlf = "\r\n";
  const int pageCount = static_cast<int>(document.pages.size());
  std::string json, png;
  const int last = std::min(pageCount, firstPage + kPagesPerViewPage - 1);
  for (int page = firstPage; !document.emptyLists && page <= last; ++page) {
    json += (json.empty() ? "" : ",") + ListEntry(page, ContentAddress(document, page));
    if (document.pages[static_cast<std::size_t>(page - 1)].imageBytes > 0) {
      png += (png.empty() ? "" : ",") + ListEntry(page, ImageAddress(document, page));
    }
  }
  const std::string total =
      document.totalPageNum.empty() ? std::to_string(pageCount) : document.totalPageNum;
  std::string out;
  out.reserve(document.viewPadding + 2048 + json.size() + png.size());
  out += "<!DOCTYPE html>" + crlf + "<html>" + crlf + "<head>" + crlf + "<meta charset=\"gbk\">" +
         crlf;
  out += "<title>" + document.title + "</title>" + crlf + "</head>" + crlf + "<body>" + crlf;
  if (document.viewPadding > 0)
    out += "<!-- " + std::string(document.viewPadding, 'x') + " -->" + crlf;
  out += "<script type=\"text/javascript\">" + crlf + "var WkInfo = WkInfo || {};" + crlf;
  out += "WkInfo.DocInfo = {" + crlf;
  out += "\t'docId': '" + document.id + "'," + crlf;
  out += "\t'title': '" + document.title + "'," + crlf;
  out += "\t'docType': '" + document.docType + "'," + crlf;
  out += "\t'totalPageNum': '" + total + "'," + crlf;
  out += "\t'firstPage': '" + std::to_string(firstPage) + "'" + crlf + "};" + crlf;
  out += "WkInfo.htmlUrls = {" + crlf;
  out += "\t'urls': '{\\x22ttf\\x22:[],\\x22json\\x22:[" + json + "],\\x22png\\x22:[" + png +
         "]}'," + crlf;
  out += "\t'count': '" + std::to_string(last >= firstPage ? last - firstPage + 1 : 0) + "'" +
         crlf + "};" + crlf;
  if (document.docType == "txt") {
    std::string escaped;
    for (char c : document.textDocumentAddress)
      escaped += c == '/' ? std::string("\\/") : std::string(1, c);
    out += "var getTokens = function(){\n\t\t\t\t\treturn '" + escaped + "';\n};" + crlf;
  }
  out += "</script>" + crlf + "</body>" + crlf + "</html>" + crlf;
  return out;
}

ScriptedReply DocService::AnswerView(const RecordedRequest& request) {
  const std::string path = request.Path();
  const std::string suffix = ".html";
  if (path.size() <= 6 + suffix.size() ||
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return ScriptedReply::Status(404);
  }
  const auto document = Find(path.substr(6, path.size() - 6 - suffix.size()));
  if (!document) return ScriptedReply::Status(404, "<html><body>404 Not Found</body></html>");
  int firstPage = 1;
  const std::string pn = QueryValue(request.Query(), "pn");
  std::from_chars(pn.data(), pn.data() + pn.size(), firstPage);
  if (firstPage < 1) firstPage = 1;
  ScriptedReply reply =
      document->viewFault == Fault::kNone
          ? ScriptedReply::Ok(ViewPage(*document, firstPage), "text/html; charset=gbk")
          : FaultReply(document->viewFault, ViewPage(*document, firstPage));
  reply.delay += document->latency;
  return reply;
}

ScriptedReply DocService::AnswerContent(const RecordedRequest& request) {
  std::string id;
  int page = 0;
  if (!SplitResource(request.Path(), "/sim/content/", ".json", id, page))
    return ScriptedReply::Status(404);
  const auto document = Find(id);
  if (!document || page < 1 || page > static_cast<int>(document->pages.size())) {
    return ScriptedReply::Status(404);
  }
  const SimPage& simPage = document->pages[static_cast<std::size_t>(page - 1)];
  int seen = 0;
  {
    std::lock_guard lock(mutex_);
    seen = contentRequests_[id + "/" + std::to_string(page)]++;
  }
  ScriptedReply reply = FaultReply(simPage.fault, PageContentJson(simPage, page));
  if (simPage.fault == Fault::kNone)
    reply.headers = {{"Content-Type", "application/json; charset=utf-8"}};
  reply.delay += document->latency;
  if (seen < simPage.slowAnswers) reply.delay += simPage.slowDelay;
  return reply;
}

ScriptedReply DocService::AnswerImage(const RecordedRequest& request) {
  std::string id;
  int page = 0;
  if (!SplitResource(request.Path(), "/sim/image/", ".png", id, page))
    return ScriptedReply::Status(404);
  const auto document = Find(id);
  if (!document || page < 1 || page > static_cast<int>(document->pages.size())) {
    return ScriptedReply::Status(404);
  }
  const SimPage& simPage = document->pages[static_cast<std::size_t>(page - 1)];
  ScriptedReply reply;
  reply.status = 200;
  reply.headers = {{"Content-Type", "image/png"}};
  reply.body = MakePng(simPage.imageBytes, static_cast<unsigned>(page));
  if (!simPage.imageContentLength) {
    // Without a length the end of the body is the end of the connection.
    reply.addContentLength = false;
    reply.closeAfter = true;
  }
  reply.delay = document->latency;
  return reply;
}

}  // namespace tessaly::sim
