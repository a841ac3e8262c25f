// A growable run of bytes that text is written into piece by piece, as the
// writer writes Lua: every append is inline, so a piece of known length
// copies without a call, and room reserved for a large text comes on huge
// pages where Linux has them (large_buffer.h) and costs only address space
// until written. A TextBuffer belongs to one thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "large_buffer.h"

namespace brindle {

class TextBuffer {
 public:
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {bytes_.get(), size_}; }
  char back() const { return bytes_[size_ - 1]; }

  // Room for `capacity` bytes in all; when it cannot be had, nothing
  // changes, and the buffer grows as it is written.
  void reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    BufferBytes bytes = allocateBuffer(capacity, 1, std::nothrow);
    if (!bytes) return;
    moveTo(std::move(bytes), capacity);
  }

  // The buffer's memory, for another buffer to write into: memory written
  // once costs nothing when written again, where fresh memory costs a page
  // fault and the zeroing of each page. The buffer is left empty, without
  // room.
  struct Room {
    BufferBytes bytes;
    std::size_t capacity = 0;
  };
  Room giveUpRoom() {
    Room room{std::move(bytes_), capacity_};
    size_ = capacity_ = 0;
    return room;
  }
  // Takes `room` in place of its own where it is larger, text and all.
  void takeRoom(Room room) {
    if (room.capacity > capacity_) moveTo(std::move(room.bytes), room.capacity);
  }

  [[gnu::always_inline]] void append(std::string_view text) { settle(put(room(text.size()), text)); }
  // A few tabs are written eight at a time, in room the buffer keeps for
  // it: bytes past the end are written over later.
  [[gnu::always_inline]] void append(std::size_t count, char c) {
    settle(put(room(std::max(count, kPutWord)), count, c));
  }

  // Writing at a cursor, for a writer of several pieces: room(n) makes
  // sure that n bytes can be written from the end on and says where, put()
  // writes there and says where the piece ends, and settle(end) takes in
  // the bytes up to `end`. A local cursor spares each piece the check for
  // room and the reload of the buffer's fields after every store.
  [[gnu::always_inline]] char* room(std::size_t bytes) {
    if (bytes > capacity_ - size_) grow(bytes);
    return bytes_.get() + size_;
  }
  void settle(const char* end) { size_ = static_cast<std::size_t>(end - bytes_.get()); }
  // `count` bytes `c`; kPutWord bytes of room at least.
  static constexpr std::size_t kPutWord = 8;
  [[gnu::always_inline]] static char* put(char* out, std::size_t count, char c) {
    if (count <= kPutWord) {
      char word[kPutWord];
      for (char& byte : word) byte = c;
      std::memcpy(out, word, kPutWord);
    } else {
      std::memset(out, c, count);
    }
    return out + count;
  }
  // `text`. Most pieces are short, and a call to copy them would cost more
  // than the copy: up to sixteen bytes are moved in two loads and two
  // stores that may overlap.
  [[gnu::always_inline]] static char* put(char* out, std::string_view text) {
    const std::size_t size = text.size();
    const char* const in = text.data();
    if (size >= 8 && size <= 16) {
      copyBytes<8>(out, in);
      copyBytes<8>(out + size - 8, in + size - 8);
    } else if (size >= 4 && size < 8) {
      copyBytes<4>(out, in);
      copyBytes<4>(out + size - 4, in + size - 4);
    } else if (size > 16) {
      std::memcpy(out, in, size);
    } else {
      for (std::size_t k = 0; k < size; ++k) out[k] = in[k];
    }
    return out + size;
  }
  void push_back(char c) {
    if (size_ == capacity_) grow(1);
    bytes_[size_++] = c;
  }

  // Lets the first `count` bytes go; the rest moves to the front.
  void dropFront(std::size_t count) {
    count = std::min(count, size_);
    if (count < size_) std::memmove(bytes_.get(), bytes_.get() + count, size_ - count);
    size_ -= count;
  }
  void clear() { size_ = 0; }
  // Keeps the first `size` bytes, no more than there are.
  void truncate(std::size_t size) { size_ = std::min(size, size_); }
  char* data() { return bytes_.get(); }

 private:
  template <std::size_t kBytes>
  static void copyBytes(char* out, const char* in) {
    char bytes[kBytes];
    std::memcpy(bytes, in, kBytes);
    std::memcpy(out, bytes, kBytes);
  }
  void grow(std::size_t more) {
    const std::size_t capacity = std::max({size_ + more, 2 * capacity_, std::size_t{256}});
    moveTo(allocateBuffer(capacity), capacity);
  }
  void moveTo(BufferBytes bytes, std::size_t capacity) {
    if (size_ > 0) std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
  }

  BufferBytes bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace brindle
