#include "message_reader.h"

#include <algorithm>
#include <new>

namespace brindle::lsp {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::size_t kMostHeader = std::size_t{1} << 16;
constexpr std::string_view kLengthName = "content-length";
// A buffer larger than this is given back once most of it is read.
constexpr std::size_t kMostKept = std::size_t{1} << 20;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether `name` is Content-Length in some letter case.
bool isLengthName(std::string_view name) {
  if (name.size() != kLengthName.size()) return false;
  for (std::size_t k = 0; k < name.size(); ++k) {
    if (lower(name[k]) != kLengthName[k]) return false;
  }
  return true;
}

// The value of Content-Length in `header`, its name in any letter case; no
// value when it is missing or no number.
std::optional<std::size_t> contentLength(std::string_view header, std::size_t most) {
  while (!header.empty()) {
    const std::size_t end = header.find(kLineEnd);
    const std::string_view line = header.substr(0, end);
    header.remove_prefix(end == std::string_view::npos ? header.size() : end + kLineEnd.size());
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isLengthName(line.substr(0, colon))) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty() || value.size() > 19) return std::nullopt;
    std::size_t length = 0;
    for (const char c : value) {
      if (c < '0' || c > '9') return std::nullopt;
      const std::size_t digit = static_cast<std::size_t>(c - '0');
      // Refused before it passes the limit, so that it cannot wrap where
      // size_t is 32 bits and nineteen digits do not fit.
      if (digit > most || length > (most - digit) / 10) return std::nullopt;
      length = length * 10 + digit;
    }
    return length;
  }
  return std::nullopt;
}

}  // namespace

void MessageReader::take(std::string_view bytes) {
  if (reading_ == Reading::content) {
    // The content's room was reserved: bytes past it wait apart, so that it
    // never grows past its size and can be handed out as it is.
    const std::size_t into = std::min(bytes.size(), length_ - pending_.size());
    pending_.append(bytes.substr(0, into));
    after_.append(bytes.substr(into));
    return;
  }
  pending_.append(bytes);
}

// Looks for the next Content-Length name, followed by its colon, at or after
// `start_`. Only the colons are searched for, each once; the name is then
// the bytes before one.
bool MessageReader::findName() {
  const std::size_t nameSize = kLengthName.size();
  for (std::size_t colon = std::max(searched_, start_ + nameSize);
       (colon = pending_.find(':', colon)) != std::string::npos; ++colon) {
    if (isLengthName(std::string_view(pending_).substr(colon - nameSize, nameSize))) {
      start_ = colon - nameSize;
      searched_ = start_;
      return true;
    }
  }
  searched_ = std::max(pending_.size(), start_ + nameSize);
  // Only the last bytes may begin a name whose colon is still to come.
  if (pending_.size() > start_ + nameSize) start_ = pending_.size() - nameSize;
  return false;
}

std::optional<std::string> MessageReader::next() {
  for (;;) {
    if (reading_ == Reading::content) {
      if (pending_.size() < length_) return std::nullopt;
      // The buffer is the content: it goes out, and what came after it is
      // kept in its stead.
      std::string content = std::move(pending_);
      pending_ = std::move(after_);
      after_.clear();
      start_ = searched_ = 0;
      reading_ = Reading::header;
      return content;
    }
    if (reading_ == Reading::name) {
      if (!findName()) break;
      reading_ = Reading::header;
    }
    if (pending_.size() - start_ < kLineEnd.size()) break;
    if (std::string_view(pending_).substr(start_, kLineEnd.size()) == kLineEnd) {
      // The empty line that ends a header, with no header before it.
      ++skipped_;
      start_ += kLineEnd.size();
      searched_ = start_;
      reading_ = Reading::name;
      continue;
    }
    // The header's end is looked for only in bytes not looked at before,
    // and only as far as a header may go, whatever has arrived past it.
    const std::size_t from = std::max(start_, searched_ > 3 ? searched_ - 3 : 0);
    const std::size_t reach = std::min(pending_.size(), start_ + kMostHeader + kHeaderEnd.size());
    const std::size_t headerEnd = std::string_view(pending_).substr(0, reach).find(kHeaderEnd, from);
    if (headerEnd == std::string::npos) {
      searched_ = reach;
      if (reach < start_ + kMostHeader + kHeaderEnd.size()) break;
      // A header is a few lines: bytes that end none are no header.
      ++skipped_;
      start_ += kMostHeader + 1;
      searched_ = start_;
      reading_ = Reading::name;
      continue;
    }
    const std::string_view header = std::string_view(pending_).substr(start_, headerEnd - start_);
    const std::optional<std::size_t> length = contentLength(header, mostBytes_);
    const std::size_t contentStart = headerEnd + kHeaderEnd.size();
    if (!length) {
      ++skipped_;
      start_ = contentStart;
      searched_ = start_;
      reading_ = Reading::name;
      continue;
    }
    if (pending_.size() - contentStart > *length) {
      // More follows the content in the buffer: the content is copied out.
      std::string content = pending_.substr(contentStart, *length);
      start_ = searched_ = contentStart + *length;
      letGo();
      return content;
    }
    // The content ends the buffer, or is still to come: it is gathered where
    // it is, in room made for all of it once.
    pending_.erase(0, contentStart);
    if (*length > pending_.size() && *length <= pending_.max_size()) {
      try {
        pending_.reserve(*length);
      } catch (const std::bad_alloc&) {
        // The bytes may never come; if they do, the buffer grows as they do.
      }
    }
    length_ = *length;
    reading_ = Reading::content;
  }
  letGo();
  return std::nullopt;
}

// Lets bytes already read go once they are most of what is kept, and a
// large buffer go once little of it is in use.
void MessageReader::letGo() {
  if (start_ > 0 && start_ >= pending_.size() / 2) {
    pending_.erase(0, start_);
    searched_ = searched_ > start_ ? searched_ - start_ : 0;
    start_ = 0;
  }
  if (pending_.capacity() > kMostKept && pending_.size() < pending_.capacity() / 4) pending_.shrink_to_fit();
}

std::string frameHeader(std::size_t contentSize) {
  std::string header = "Content-Length: " + std::to_string(contentSize);
  return header.append(kHeaderEnd);
}

std::string frame(std::string_view content) { return frameHeader(content.size()).append(content); }

}  // namespace brindle::lsp
