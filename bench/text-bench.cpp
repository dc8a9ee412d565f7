// Text helpers on a 1 MB page text.
#include <benchmark/benchmark.h>

#include <string>

#include "pagetext/text-cleanup.h"
#include "pagetext/unescape-text.h"
#include "support/text.h"

namespace {

using tessaly::Text;

constexpr std::size_t kPageBytes = 1 << 20;

// Lines of GBK text (文库中文) with blank and white lines between them.
const Text& PageText() {
  static const Text page = [] {
    Text t;
    while (t.size() < kPageBytes) {
      t += "\xCE\xC4\xBF\xE2\xD6\xD0\xCE\xC4 line of Text 12345\r\n";
      t += "\r\n   \t\r\n";
      t += "  \xD6\xD0\xCE\xC4 more\r\n";
    }
    return t;
  }();
  return page;
}

// A JSON-escaped item: \u escapes, escaped quotes, plain text.
const Text& EscapedItem() {
  static const Text item = [] {
    Text t;
    while (t.size() < kPageBytes) t += "\\u6587\\u5E93 text \\\"q\\\" %41 ";
    return t;
  }();
  return item;
}

void BM_TextBetween(benchmark::State& state) {
  const Text source = PageText() + "\"c\":\"value\"}";
  const Text quote(tessaly::kQuotePlaceholder);
  const Text left = quote + "C" + quote + ":" + quote;  // "C":" with the placeholder
  const Text right = quote + "}";
  for (auto _ : state) {
    benchmark::DoNotOptimize(tessaly::TextBetween(source, left, right));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_TextBetween)->Unit(benchmark::kMillisecond);

void BM_FindTextIgnoreCase(benchmark::State& state) {
  const Text source = PageText() + "NEEDLE";
  for (auto _ : state) benchmark::DoNotOptimize(tessaly::FindText(source, "needle", 1, true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_FindTextIgnoreCase)->Unit(benchmark::kMillisecond);

void BM_ReplaceText(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(tessaly::ReplaceText(PageText(), "\xD6\xD0", "\xCE\xC4\xBF\xE2"));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * PageText().size()));
}
BENCHMARK(BM_ReplaceText)->Unit(benchmark::kMillisecond);

void BM_ReplaceTextIgnoreCase(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(tessaly::ReplaceText(PageText(), "LINE", "L", true));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * PageText().size()));
}
BENCHMARK(BM_ReplaceTextIgnoreCase)->Unit(benchmark::kMillisecond);

void BM_UnescapeText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tessaly::UnescapeText(EscapedItem()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * EscapedItem().size()));
}
BENCHMARK(BM_UnescapeText)->Unit(benchmark::kMillisecond);

void BM_UnescapeTextBuiltIn(benchmark::State& state) {
  const Text item = EscapedItem() + "\n";  // a lone LF: the built-in decoder
  for (auto _ : state) benchmark::DoNotOptimize(tessaly::UnescapeText(item));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * item.size()));
}
BENCHMARK(BM_UnescapeTextBuiltIn)->Unit(benchmark::kMillisecond);

void BM_DeleteBlankLines(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tessaly::DeleteBlankLines(PageText()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * PageText().size()));
}
BENCHMARK(BM_DeleteBlankLines)->Unit(benchmark::kMillisecond);

void BM_DeleteBlankLinesByRegex(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tessaly::DeleteBlankLinesByRegex(PageText()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * PageText().size()));
}
BENCHMARK(BM_DeleteBlankLinesByRegex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
