// Output in Windows text form: every line feed written as a carriage return
// and a line feed, gathered in a fixed buffer and handed to WriteFile in
// large pieces. Windows only; used by one thread at a time.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string_view>

#include "handle_windows.h"

namespace brindle {

// Largest count passed to one ReadFile or WriteFile call.
inline constexpr DWORD kMaxTransfer = DWORD{1} << 30;

// Writes to the file that `file` holds at the time of each write.
class CrLfWriter {
 public:
  explicit CrLfWriter(const Handle& file) : file_(file) {}

  bool write(std::string_view contents) {
    while (!contents.empty()) {
      const std::size_t lineFeed = contents.find('\n');
      if (lineFeed == std::string_view::npos) return append(contents);
      if (!append(contents.substr(0, lineFeed)) || !append("\r\n")) return false;
      contents.remove_prefix(lineFeed + 1);
    }
    return true;
  }

  bool flush() {
    const bool ok = writeThrough(std::string_view(buffer_, used_));
    used_ = 0;
    return ok;
  }

 private:
  bool append(std::string_view piece) {
    if (used_ + piece.size() > sizeof buffer_) {
      if (!flush()) return false;
      if (piece.size() > sizeof buffer_) return writeThrough(piece);
    }
    std::memcpy(buffer_ + used_, piece.data(), piece.size());
    used_ += piece.size();
    return true;
  }

  bool writeThrough(std::string_view piece) {
    while (!piece.empty()) {
      const DWORD want = piece.size() < kMaxTransfer ? static_cast<DWORD>(piece.size())
                                                    : kMaxTransfer;
      DWORD written = 0;
      if (!WriteFile(file_.get(), piece.data(), want, &written, nullptr)) return false;
      if (written == 0) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
      piece.remove_prefix(written);
    }
    return true;
  }

  const Handle& file_;
  char buffer_[1 << 16];
  std::size_t used_ = 0;
};

}  // namespace brindle
