// The framing of the Language Server Protocol's messages on a byte stream:
// a header of "Name: value" lines, each ended by CR LF, an empty line, then
// Content-Length bytes of content. The reader knows nothing of JSON: it is
// given the bytes as they arrive, in reads of any size, and hands out each
// message's content once whole, several from one read or one from several.
// A header it cannot read (none at all, no Content-Length, a length that is
// no number, or one past the largest message taken) is skipped, with the
// empty line that ends it, and counted; so are bytes that end no header
// within 64 KiB. After either, the bytes up to the next "Content-Length:"
// (in any letter case) are skipped as well, since they are most likely the
// bad frame's content, and the next header is read from there. What is
// handed out and skipped does not depend on the sizes of the reads, and
// each byte is looked at a bounded number of times. A message whose content
// comes over several reads is gathered in room reserved once for it and
// handed out without a copy; no large buffer is kept once it has gone.
// A MessageReader is used by one thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace brindle::lsp {

class MessageReader {
 public:
  // Messages longer than `mostBytes` are refused as malformed.
  explicit MessageReader(std::size_t mostBytes = std::size_t{1} << 31) : mostBytes_(mostBytes) {}

  // Takes the bytes of a read.
  void take(std::string_view bytes);
  // The content of the next whole message, if one has arrived.
  std::optional<std::string> next();
  // How many malformed headers were skipped so far.
  std::size_t skipped() const { return skipped_; }

 private:
  enum class Reading {
    header,   // a header begins at `start_`
    name,     // after a bad header: looking for the next Content-Length name
    content,  // `pending_` holds the first bytes of a content of `length_`
  };

  bool findName();
  void letGo();

  std::size_t mostBytes_;
  Reading reading_ = Reading::header;
  std::string pending_;
  std::string after_;         // bytes past the content being gathered
  std::size_t start_ = 0;     // where the unread bytes begin in `pending_`
  std::size_t searched_ = 0;  // bytes before this were searched already, from `start_`
  std::size_t length_ = 0;    // of the content being gathered
  std::size_t skipped_ = 0;
};

// The framed form of `content`: its header, then it.
std::string frame(std::string_view content);
// The header alone, for a writer that writes the content after it.
std::string frameHeader(std::size_t contentSize);

}  // namespace brindle::lsp
