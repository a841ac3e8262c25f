#include "string_utils_check.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "reference.h"
#include "plain_forms.h"
#include "string_utils.h"

namespace brindle::fuzz {
namespace {

// Takes `length` bytes from the front of `data` (fewer when it runs out).
std::string_view take(std::string_view& data, std::size_t length) {
  const std::string_view piece = data.substr(0, std::min(length, data.size()));
  data.remove_prefix(piece.size());
  return piece;
}

unsigned char takeByte(std::string_view& data) {
  const std::string_view piece = take(data, 1);
  return piece.empty() ? 0 : static_cast<unsigned char>(piece[0]);
}

std::string checkReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string edited(text);
  replaceAll(edited, from, to);
  if (edited != referenceReplace(text, from, to)) {
    return "replaceAll differs from a left-to-right scan of non-overlapping occurrences";
  }
  return {};
}

std::string checkEraseFirst(std::string_view text, std::string_view what) {
  std::string edited(text);
  eraseFirst(edited, what);
  // The first position where `what` starts, found by trying every position.
  std::size_t first = text.size();
  if (!what.empty()) {
    for (std::size_t i = 0; i + what.size() <= text.size(); ++i) {
      if (text.substr(i, what.size()) == what) {
        first = i;
        break;
      }
    }
  }
  std::string expected(text);
  if (first < text.size()) expected.erase(first, what.size());
  if (edited != expected) return "eraseFirst did not remove exactly the first occurrence";
  return {};
}

std::string checkSplitOn(std::string_view text, char separator) {
  // Leftovers from an earlier call must not survive.
  std::vector<std::string> pieces = {"stale", "", " pieces "};
  const std::size_t count = splitOn(text, pieces, separator);
  const auto separators = static_cast<std::size_t>(std::count(text.begin(), text.end(), separator));
  if (count != separators + 1 || pieces.size() != separators + 1) {
    return "splitOn made " + std::to_string(pieces.size()) + " pieces (said " +
           std::to_string(count) + ") of a text with " + std::to_string(separators) + " separators";
  }
  for (const std::string& piece : pieces) {
    if (std::any_of(piece.begin(), piece.end(), referenceIsBlank)) {
      return "a piece of splitOn holds a whitespace byte";
    }
  }
  if (pieces != referenceSplit(text, separator)) {
    return "splitOn's pieces differ from cutting after every separator and dropping blanks";
  }
  return {};
}

std::string checkRepeatString(std::string_view text, long long count) {
  std::string expected;
  for (long long i = 0; i < count; ++i) expected.append(text);
  if (repeatString(text, count) != expected) {
    return "repeatString of " + std::to_string(count) + " copies is wrong";
  }
  return {};
}

}  // namespace

std::string checkFindText(std::string_view text, std::string_view what) {
  // From every position, against a plain search; an empty text is found
  // nowhere.
  for (std::size_t from = 0; from <= text.size() + 1; ++from) {
    std::size_t expected = std::string_view::npos;
    if (!what.empty() && from <= text.size()) {
      for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
        if (text.substr(i, what.size()) == what) {
          expected = i;
          break;
        }
      }
    }
    if (findText(text, what, from) != expected) return "findText missed the first occurrence";
  }
  if (!what.empty() && (findLastByte(text, what[0]) != text.rfind(what[0]) ||
                        findLastByteWordByWord(text, what[0]) != text.rfind(what[0]))) {
    return "findLastByte missed the last occurrence";
  }
  return {};
}

std::string checkStringUtils(std::string_view data) {
  // Search texts up to 40 bytes, so that long ones meet short texts too.
  const std::size_t fromLength = takeByte(data) % 41;
  const std::size_t toLength = takeByte(data) % 7;
  const char separator = static_cast<char>(takeByte(data));
  const long long count = static_cast<long long>(takeByte(data) % 8) - 2;
  const std::string_view from = take(data, fromLength);
  const std::string_view to = take(data, toLength);
  const std::string_view text = data;

  for (std::string failure :
       {checkReplaceAll(text, from, to), checkEraseFirst(text, from), checkFindText(text, from),
        checkSplitOn(text, separator), checkSplitOn(text, ' '), checkRepeatString(to, count)}) {
    if (!failure.empty()) return failure;
  }
  return {};
}

}  // namespace brindle::fuzz
