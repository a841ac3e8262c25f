// A Win32 handle owned by one object, closed on every way out, exceptions
// included. Windows only; used by one thread at a time.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace brindle {

// Owns a file handle and closes it on every way out, exceptions included.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes the handle held, if any, and holds `handle` instead.
  void reset(HANDLE handle) {
    close();
    handle_ = handle;
  }
  // Closes now; false (with the reason in GetLastError) when closing failed,
  // which for a written file can mean the data did not reach the disk.
  bool close() {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  HANDLE handle_;
};

}  // namespace brindle
