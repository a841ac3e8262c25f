// A fast way to ask whether a short text holds any of a few short byte
// patterns: the caller's test sees fixed windows of bytes, which the compiler
// turns into vector instructions with no per-byte branches.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace brindle {

// Calls `test(p)` on windows of the text such that a test starts at every
// position: `test` looks at the pattern starting at each p[i], i < kScanStep,
// and may read up to two bytes further. Bytes past the end of the text read
// as zero, so patterns must hold no zero byte. Windows may overlap, so `test`
// must not count: it may only note what it finds.
inline constexpr std::size_t kScanStep = 16;
inline constexpr std::size_t kScanWindow = kScanStep + 2;

template <typename Test>
void scanWindows(std::string_view text, Test&& test) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  // The last (up to) two steps' worth of starts go through a zero-padded copy.
  constexpr std::size_t kTail = 2 * kScanStep;
  unsigned char tail[kTail + 2] = {};
  if (n <= kTail) {
    if (n > 0) std::memcpy(tail, p, n);
  } else {
    std::size_t at = 0;
    for (; at + kScanWindow <= n; at += kScanStep) test(p + at);
    // The starts from `at` on, fewer than kScanWindow, lie in the last kTail
    // bytes.
    std::memcpy(tail, p + n - kTail, kTail);
  }
  test(static_cast<const unsigned char*>(tail));
  if (n > kScanStep) test(static_cast<const unsigned char*>(tail + kScanStep));
}

}  // namespace brindle
