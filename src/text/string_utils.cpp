#include "string_utils.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "byte_vectors.h"

namespace brindle {

std::size_t utf8CharacterAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4                                 ? 4
                                                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(at + k) & 0xC0) != 0x80) return 0;
  }
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

std::size_t findText(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty() || from > text.size() || text.size() - from < what.size()) {
    return std::string_view::npos;
  }
  const char* const p = text.data();
  if (what.size() == 1) {
    const void* const hit = std::memchr(p + from, what[0], text.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : std::string_view::npos;
  }
  // The first and the last byte are compared at sixteen starts at once,
  // the rest only where both agree: together they rarely agree by chance,
  // and most searched texts are short, as are most lines, where calling out
  // for every byte that starts the text would cost more than the search.
  const std::size_t tail = what.size() - 1;
  const auto rest = [&](std::size_t at) {
    return tail < 2 || std::memcmp(p + at + 1, what.data() + 1, tail - 1) == 0;
  };
  const std::size_t last = text.size() - what.size();  // the last start that fits
  std::size_t at = from;
  // Lines are short: there memchr, which finds a first byte in one call,
  // costs less than setting up windows.
  constexpr std::size_t kShortText = 4 * kVectorBytes;
  // A window reads sixteen starts and the bytes up to their last one's end.
  if (text.size() - from >= kShortText && last + 1 >= kVectorBytes) {
    const auto first = static_cast<unsigned char>(what[0]);
    const auto final = static_cast<unsigned char>(what[tail]);
    // Windows of sixteen starts from `from` on, two at a time while they
    // last; the last window is moved back to end with the text, and skips
    // the starts an earlier one looked at.
    const auto hitsAt = [&](std::size_t start) {
      ByteVector a;
      ByteVector b;
      loadBytes(a, p + start);
      loadBytes(b, p + start + tail);
      return hitMask((a == first) & (b == final));
    };
    const auto firstAgreeing = [&](std::size_t start, unsigned hits) {
      for (; hits != 0; hits &= hits - 1) {
        const std::size_t hit = start + static_cast<std::size_t>(std::countr_zero(hits));
        if (rest(hit)) return hit;
      }
      return std::string_view::npos;
    };
    for (; at + 2 * kVectorBytes <= last + 1; at += 2 * kVectorBytes) {
      const unsigned hits = hitsAt(at) | hitsAt(at + kVectorBytes) << kVectorBytes;
      if (hits == 0) continue;
      const std::size_t hit = firstAgreeing(at, hits);
      if (hit != std::string_view::npos) return hit;
    }
    while (at <= last) {
      const std::size_t start = std::min(at, last + 1 - kVectorBytes);
      const std::size_t hit = firstAgreeing(start, hitsAt(start) >> (at - start) << (at - start));
      if (hit != std::string_view::npos) return hit;
      at = start + kVectorBytes;
    }
    return std::string_view::npos;
  }
  // A short text: memchr finds each first byte.
  while (at <= last) {
    const void* const hit = std::memchr(p + at, what[0], last + 1 - at);
    if (hit == nullptr) break;
    at = static_cast<std::size_t>(static_cast<const char*>(hit) - p);
    if (p[at + tail] == what[tail] && rest(at)) return at;
    ++at;
  }
  return std::string_view::npos;
}

std::size_t findLastByteWordByWord(std::string_view text, char c) {
  std::size_t end = text.size();
  // A word that holds `c` ends the quick search; its bytes are then looked
  // at one by one.
  while (end >= sizeof(std::uint64_t)) {
    if (bytesOf(wordAt(text.data() + end - sizeof(std::uint64_t)), c) != 0) break;
    end -= sizeof(std::uint64_t);
  }
  for (std::size_t at = end; at-- > 0;) {
    if (text[at] == c) return at;
  }
  return std::string_view::npos;
}

std::size_t findLastByte(std::string_view text, char c) {
#if defined(__GLIBC__)
  // An empty view may have no bytes behind it at all.
  if (text.empty()) return std::string_view::npos;
  const void* const hit = memrchr(text.data(), c, text.size());
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : std::string_view::npos;
#else
  return findLastByteWordByWord(text, c);
#endif
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t hit = findText(text, from);
  if (hit == std::string_view::npos) return;
  std::size_t next = findText(text, from, hit + from.size());
  if (next == std::string_view::npos) {
    text.replace(hit, from.size(), to);  // the usual single occurrence, edited in place
    return;
  }
  // The result is built in a buffer kept from call to call and then swapped
  // with the text, so that editing line after line allocates nothing once
  // the buffers have grown; a buffer grown past a line's size is let go.
  // Editing in place would make every replacement shift the rest.
  thread_local std::string result;
  constexpr std::size_t kKeptCapacity = std::size_t{1} << 16;
  if (result.capacity() > kKeptCapacity) result = std::string();
  result.assign(text, 0, hit);
  for (;;) {
    result.append(to);
    const std::size_t copied = hit + from.size();
    result.append(text, copied, (next == std::string_view::npos ? text.size() : next) - copied);
    if (next == std::string_view::npos) break;
    hit = next;
    next = findText(text, from, hit + from.size());
  }
  text.swap(result);
}

void eraseFirst(std::string& text, std::string_view what) {
  const std::size_t at = findText(text, what);
  if (at != std::string_view::npos) text.erase(at, what.size());
}

}  // namespace brindle
