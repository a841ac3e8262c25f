#include "positions.h"

#include <algorithm>
#include <cstring>

#include "string_utils.h"

namespace brindle::lsp {
namespace {

// The length of the UTF-8 sequence that starts at `at`, and its units: one
// byte and one unit where the bytes are no whole sequence.
struct Sequence {
  std::size_t bytes = 1;
  std::size_t units = 1;
};

Sequence sequenceAt(std::string_view text, std::size_t at) {
  const std::size_t length = utf8CharacterAt(text, at);
  if (length == 0) return {};
  return {length, length == 4 ? std::size_t{2} : std::size_t{1}};
}

}  // namespace

std::size_t utf16Units(std::string_view bytes) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      ++units;
      ++at;
      continue;
    }
    const Sequence sequence = sequenceAt(bytes, at);
    units += sequence.units;
    at += sequence.bytes;
  }
  return units;
}

std::size_t byteAtUnits(std::string_view line, std::size_t units) {
  std::size_t at = 0;
  for (std::size_t counted = 0; at < line.size() && counted < units;) {
    const Sequence sequence = sequenceAt(line, at);
    if (counted + sequence.units > units) break;  // inside a surrogate pair
    counted += sequence.units;
    at += sequence.bytes;
  }
  return at;
}

LineIndex::LineIndex(std::string_view text) : text_(text), starts_{0} {
  // The line feeds are found with memchr. A carriage return ends a line
  // only where no line feed follows it; so in a text that holds any, the
  // bytes before each line feed but the last are searched for them too.
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const auto find = [](const char* from, const char* to, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(to - from)));
  };
  const auto offset = [begin](const char* at) { return static_cast<std::uint32_t>(at - begin); };
  const bool returns = begin != end && find(begin, end, '\r') != nullptr;
  for (const char* at = begin; at < end;) {
    const char* const feed = find(at, end, '\n');
    if (returns) {
      const char* const stop = !feed ? end : feed > at ? feed - 1 : at;
      for (const char* r = at; r < stop && (r = find(r, stop, '\r')) != nullptr; ++r) {
        if (!loneReturns_) scriptStarts_.assign(starts_.begin(), starts_.end());
        loneReturns_ = true;
        starts_.push_back(offset(r + 1));
      }
    }
    if (!feed) break;
    at = feed + 1;
    starts_.push_back(offset(at));
    if (loneReturns_) scriptStarts_.push_back(offset(at));
  }
}

std::string_view LineIndex::line(std::size_t line) const {
  if (line >= starts_.size()) return {};
  const std::size_t begin = starts_[line];
  std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] : text_.size();
  if (end > begin && text_[end - 1] == '\n') --end;
  if (end > begin && text_[end - 1] == '\r') --end;
  return text_.substr(begin, end - begin);
}

Position LineIndex::positionOf(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const std::size_t line = static_cast<std::size_t>(after - starts_.begin()) - 1;
  const std::string_view text = this->line(line);
  const std::size_t within = std::min(offset - starts_[line], text.size());
  return {line, utf16Units(text.substr(0, within))};
}

std::size_t LineIndex::scriptLineOf(std::size_t offset) const {
  const std::vector<std::uint32_t>& starts = scriptStarts();
  return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
}

std::size_t LineIndex::offsetOf(const Position& position) const {
  if (position.line >= starts_.size()) return text_.size();
  return starts_[position.line] + byteAtUnits(line(position.line), position.character);
}

}  // namespace brindle::lsp
