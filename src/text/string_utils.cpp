#include "text/string_utils.h"

#include <algorithm>

namespace brindle {

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  std::size_t hit = text.find(from);
  if (hit == std::string::npos) return;

  // Count first so the result needs at most one allocation, then build it
  // in a second buffer: editing in place would make every replacement shift
  // the rest of the text.
  std::size_t occurrences = 0;
  for (std::size_t at = hit; at != std::string::npos;
       at = text.find(from, at + from.size())) {
    ++occurrences;
  }
  // The result is built in a buffer kept from call to call and then swapped
  // with the text, so that editing line after line allocates nothing once
  // the buffers have grown; a buffer grown past a line's size is let go.
  thread_local std::string result;
  constexpr std::size_t kKeptCapacity = std::size_t{1} << 16;
  if (result.capacity() > kKeptCapacity) result = std::string();
  result.clear();
  result.reserve(text.size() - occurrences * from.size() +
                 occurrences * to.size());
  std::size_t copied = 0;
  for (std::size_t at = hit; at != std::string::npos;
       at = text.find(from, at + from.size())) {
    result.append(text, copied, at - copied);
    result.append(to);
    copied = at + from.size();
  }
  result.append(text, copied, std::string::npos);
  text.swap(result);
}

void eraseFirst(std::string& text, std::string_view what) {
  if (what.empty()) return;
  const std::size_t at = text.find(what);
  if (at != std::string::npos) text.erase(at, what.size());
}

std::size_t splitOn(std::string_view text, std::vector<std::string>& pieces,
                    char separator) {
  const std::size_t count =
      static_cast<std::size_t>(std::count(text.begin(), text.end(), separator)) + 1;
  // Resizing keeps the buffers of pieces that survive, so a caller that
  // reuses one list line after line does not allocate for every word.
  pieces.resize(count);
  std::size_t start = 0;
  for (std::string& piece : pieces) {
    std::size_t end = text.find(separator, start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    piece.clear();
    for (std::size_t i = start; i < end; ++i) {
      if (!isSpaceByte(text[i])) piece.push_back(text[i]);
    }
    start = end;
  }
  return count;
}

std::string repeatString(std::string_view text, long long count) {
  std::string result;
  if (count <= 0) return result;
  result.reserve(text.size() * static_cast<std::size_t>(count));
  for (long long i = 0; i < count; ++i) result.append(text);
  return result;
}

}  // namespace brindle
