#include "message_reader.h"

#include <algorithm>

namespace brindle::lsp {
namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::size_t kMostHeader = std::size_t{1} << 16;
constexpr std::string_view kLengthName = "content-length";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of Content-Length in `header`, its name in any letter case; no
// value when it is missing or no number.
std::optional<std::size_t> contentLength(std::string_view header, std::size_t most) {
  while (!header.empty()) {
    const std::size_t end = header.find("\r\n");
    const std::string_view line = header.substr(0, end);
    header.remove_prefix(end == std::string_view::npos ? header.size() : end + 2);
    const std::size_t colon = line.find(':');
    if (colon != kLengthName.size()) continue;
    bool named = true;
    for (std::size_t k = 0; k < colon; ++k) named = named && lower(line[k]) == kLengthName[k];
    if (!named) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty() || value.size() > 19) return std::nullopt;
    std::size_t length = 0;
    for (const char c : value) {
      if (c < '0' || c > '9') return std::nullopt;
      length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    if (length > most) return std::nullopt;
    return length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> MessageReader::next() {
  for (;;) {
    // The header's end is looked for only in bytes not looked at before.
    const std::size_t from = std::max(start_, searched_ > 3 ? searched_ - 3 : 0);
    const std::size_t headerEnd = pending_.find(kHeaderEnd, from);
    if (headerEnd == std::string::npos) {
      searched_ = pending_.size();
      // A header is a few lines: bytes that end none are no header.
      if (pending_.size() - start_ > kMostHeader) {
        ++skipped_;
        start_ = pending_.size() - 3;
      }
      break;
    }
    const std::string_view header = std::string_view(pending_).substr(start_, headerEnd - start_);
    const std::optional<std::size_t> length = contentLength(header, mostBytes_);
    if (!length) {
      // Skipped to the line after the empty one, where a header may start.
      ++skipped_;
      start_ = headerEnd + kHeaderEnd.size();
      continue;
    }
    const std::size_t contentStart = headerEnd + kHeaderEnd.size();
    if (pending_.size() - contentStart < *length) break;
    std::string content = pending_.substr(contentStart, *length);
    start_ = contentStart + *length;
    searched_ = start_;
    if (start_ > pending_.size() / 2) {
      pending_.erase(0, start_);
      searched_ -= start_;
      start_ = 0;
    }
    return content;
  }
  // Bytes already read are let go once they are most of what is kept.
  if (start_ > 0 && start_ >= pending_.size() / 2) {
    pending_.erase(0, start_);
    searched_ = searched_ > start_ ? searched_ - start_ : 0;
    start_ = 0;
  }
  return std::nullopt;
}

std::string frame(std::string_view content) {
  std::string framed = "Content-Length: " + std::to_string(content.size());
  framed.append(kHeaderEnd).append(content);
  return framed;
}

}  // namespace brindle::lsp
