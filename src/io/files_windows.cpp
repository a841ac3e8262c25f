// The file layer on Windows, through the Win32 API. Paths are taken as UTF-8
// and passed to the wide-character functions, so no code page is involved.
//
// Where it differs from the POSIX layer, because Windows works differently:
// - The script is read as raw bytes; the line reader drops a carriage return
//   before a line feed, and a Ctrl-Z byte is an ordinary byte, not an end.
// - output.lua is written in Windows text form: every line feed becomes a
//   carriage return and a line feed.
// - A link at the output path that leads to an existing file is followed
//   (the final path of the file it opens is replaced). A link whose target
//   does not exist is replaced by a plain file: Windows offers no way to read
//   a dangling link's target without privileges this tool should not need.
// - The new file is hidden while it is written, so that Explorer does not show
//   it beside output.lua, and unhidden before it is moved into place.
// - The replaced file does not keep its attributes or access list; the new
//   one gets those its folder hands down. A read-only output.lua is refused
//   before anything is written; one that another program holds open without
//   sharing deletion cannot be replaced: Windows refuses, and the failure is
//   told apart from others by the codes the system has for each.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // Windows Vista, for GetFinalPathNameByHandleW
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "crlf_writer_windows.h"
#include "errors_windows.h"
#include "files.h"
#include "handle_windows.h"

namespace brindle {
namespace {

bool toWide(const std::string& path, std::wstring& wide, FileError* err) {
  if (path.empty()) return failWith(err, ERROR_INVALID_NAME);
  const int size = static_cast<int>(path.size());
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (length <= 0) return failLast(err);
  wide.assign(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(),
                          length) != length) {
    return failLast(err);
  }
  return true;
}

// The path of the file that `file` has open, links resolved, in the
// "\\?\" form that every wide-character file function accepts.
bool finalPathOf(HANDLE file, std::wstring& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
        file, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      path = std::move(buffer);
      return true;
    }
    buffer.assign(length, L'\0');  // `length` then counts the terminating null too
  }
}

std::wstring hex(unsigned long long value) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

// Clears the hidden attribute of the new file, which keeps it out of sight in
// Explorer while it is written, so that the file moved into place is not
// hidden. Its other attributes stay.
bool unhide(const Handle& file) {
  FILE_BASIC_INFO info;
  if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &info, sizeof info)) return false;
  info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
  if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file.get(), FileBasicInfo, &info, sizeof info) != FALSE;
}

// Creates a new, empty, hidden file beside `target` whose name no other file has,
// and puts it in `file` and its name in `temporary`. Both are left alone on
// failure, so that no name is recorded for a file this call did not create.
bool createTemporaryBeside(const std::wstring& target, std::wstring& temporary, Handle& file,
                           FileError* err) {
  const std::size_t cut = target.find_last_of(L"\\/:");
  const std::wstring folder = cut == std::wstring::npos ? L"" : target.substr(0, cut + 1);
  const std::wstring base = cut == std::wstring::npos ? target : target.substr(cut + 1);
  LARGE_INTEGER clock;
  QueryPerformanceCounter(&clock);
  const std::wstring stem = folder + L"." + base + L".tmp-" + hex(GetCurrentProcessId()) + L"-";
  unsigned long long salt = static_cast<unsigned long long>(clock.QuadPart);
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::wstring name = stem + hex(salt & 0xffffffffULL);
    // Read as well as written: a restart moves bytes within it.
    const HANDLE created =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      file.reset(created);
      temporary = std::move(name);
      return true;
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return failWith(err, code);
    salt = salt * 6364136223846793005ULL + 1442695040888963407ULL;
  }
  return failWith(err, ERROR_FILE_EXISTS);
}

}  // namespace

// Files are always copied here: ReadMode::mayMap asks for nothing more.
struct FileMapping {};
void FileMappingDelete::operator()(FileMapping* mapping) const { delete mapping; }
bool stillAsRead(const FileContents&) { return true; }

// A write past a quota fails with the reason here already.
void failWritesPastFileSizeLimit() {}

bool readWholeFile(const std::string& path, FileContents& contents, FileError* err, ReadMode) {
  std::wstring wide;
  if (!toWide(path, wide, err)) return false;
  Handle file(CreateFileW(wide.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return failWith(err, explainOpenFailure(GetLastError(), wide));

  contents = FileContents();
  LARGE_INTEGER size;
  if (GetFileType(file.get()) == FILE_TYPE_DISK && GetFileSizeEx(file.get(), &size) &&
      size.QuadPart > 0 && static_cast<unsigned long long>(size.QuadPart) < PTRDIFF_MAX) {
    makeRoom(contents, static_cast<std::size_t>(size.QuadPart));
  }
  // Then on until the end of the file. A full buffer grows only once more
  // bytes have come, so a file of the size it had costs no copy.
  char chunk[std::size_t{1} << 16];
  for (;;) {
    const bool inBuffer = contents.size < contents.capacity;
    char* const into = inBuffer ? contents.bytes.get() + contents.size : chunk;
    const std::size_t room = inBuffer ? contents.capacity - contents.size : sizeof chunk;
    DWORD got = 0;
    if (!ReadFile(file.get(), into, room < kMaxTransfer ? static_cast<DWORD>(room) : kMaxTransfer,
                  &got, nullptr)) {
      // A pipe whose writer is gone has simply ended.
      const DWORD code = GetLastError();
      if (code != ERROR_BROKEN_PIPE) return failWith(err, code);
      got = 0;
    }
    if (got == 0) return true;
    if (!inBuffer) {
      makeRoom(contents, got);
      std::memcpy(contents.bytes.get() + contents.size, chunk, got);
    }
    contents.size += got;
  }
}

// The new file and what committing it needs. Its destructor closes the file
// and removes it unless it was moved over the target.
struct OutputFile::Impl {
  std::wstring target;     // the file to replace, links resolved where they can be
  std::wstring temporary;  // the new file; empty until created and once moved
  Handle file{INVALID_HANDLE_VALUE};
  CrLfWriter writer{file};
  std::uint64_t taken = 0;      // the bytes of the pieces the file holds
  bool ok = true;               // false once a step has failed
  DWORD error = ERROR_SUCCESS;  // the system's code for that step

  ~Impl() {
    file.close();  // an open file cannot be deleted
    if (!temporary.empty()) DeleteFileW(temporary.c_str());
  }

  void failed(DWORD code) {
    ok = false;
    error = code;
  }
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() = default;

bool OutputFile::open(const std::string& path, FileError* err) {
  impl_.reset();
  auto impl = std::make_unique<Impl>();
  std::wstring& target = impl->target;
  if (!toWide(path, target, err)) return false;

  // Look at what the path designates now, through any links.
  {
    Handle existing(CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (existing) {
      BY_HANDLE_FILE_INFORMATION info;
      if (GetFileType(existing.get()) != FILE_TYPE_DISK) return fail(err, "not a regular file");
      if (!GetFileInformationByHandle(existing.get(), &info)) return failLast(err);
      if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return failWith(err, kDirectoryNotSupported);
      }
      if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return failWith(err, ERROR_FILE_READ_ONLY);
      // Replace the file the path leads to; where the system cannot name it,
      // the path itself is replaced.
      std::wstring resolved;
      if (finalPathOf(existing.get(), resolved)) target = std::move(resolved);
    } else if (const DWORD code = GetLastError(); code != ERROR_FILE_NOT_FOUND) {
      return failWith(err, explainOpenFailure(code, target));
    }
  }

  if (!createTemporaryBeside(target, impl->temporary, impl->file, err)) return false;
  impl_ = std::move(impl);
  return true;
}

bool OutputFile::write(std::string_view piece) {
  if (!impl_ || !impl_->ok) return false;
  if (!impl_->writer.write(piece)) impl_->failed(GetLastError());
  impl_->taken += piece.size();
  return impl_->ok;
}

namespace {

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(offset);
  where.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return where;
}

// Reads or writes `size` bytes at `offset` of the file, at most a block at
// a time; a file that ends sooner fails.
bool readAt(HANDLE file, char* out, DWORD size, std::uint64_t offset) {
  OVERLAPPED where = at(offset);
  DWORD got = 0;
  if (!ReadFile(file, out, size, &got, &where)) return false;
  if (got == size) return true;
  SetLastError(ERROR_HANDLE_EOF);
  return false;
}
bool writeAt(HANDLE file, const char* bytes, DWORD size, std::uint64_t offset) {
  OVERLAPPED where = at(offset);
  DWORD put = 0;
  if (!WriteFile(file, bytes, size, &put, &where)) return false;
  if (put == size) return true;
  SetLastError(ERROR_WRITE_FAULT);
  return false;
}

constexpr DWORD kMoveBlock = DWORD{1} << 20;

// Where the first `sinkBytes` bytes written end in the file, which holds
// `fileBytes`: every line feed written went in as a carriage return and a
// line feed, so a line feed there stands with the byte before it for one.
bool fileOffsetOf(HANDLE file, std::uint64_t sinkBytes, std::uint64_t fileBytes,
                  std::uint64_t& offset) {
  std::string block(static_cast<std::size_t>(std::min<std::uint64_t>(fileBytes, kMoveBlock)), '\0');
  std::uint64_t counted = 0;
  for (std::uint64_t from = 0; from < fileBytes; from += block.size()) {
    const DWORD size = static_cast<DWORD>(std::min<std::uint64_t>(kMoveBlock, fileBytes - from));
    if (!readAt(file, block.data(), size, from)) return false;
    for (DWORD k = 0; k < size; ++k) {
      if (counted == sinkBytes) {
        offset = from + k + (block[k] == '\n' ? 1 : 0);
        return true;
      }
      if (block[k] != '\n') ++counted;
    }
  }
  offset = fileBytes;
  return true;
}

// Moves bytes [from, from + length) of the file to `to`, a block at a time,
// from the end where they move on, so that none is written over unread.
bool moveWithin(HANDLE file, std::uint64_t from, std::uint64_t length, std::uint64_t to) {
  std::string block(static_cast<std::size_t>(std::min<std::uint64_t>(length, kMoveBlock)), '\0');
  for (std::uint64_t done = 0; done < length;) {
    const DWORD size = static_cast<DWORD>(std::min<std::uint64_t>(kMoveBlock, length - done));
    const std::uint64_t skip = to > from ? length - done - size : done;
    if (!readAt(file, block.data(), size, from + skip) ||
        !writeAt(file, block.data(), size, to + skip)) {
      return false;
    }
    done += size;
  }
  return true;
}

bool moveTo(HANDLE file, std::uint64_t offset) {
  LARGE_INTEGER where;
  where.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, where, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace

bool OutputFile::restart(std::size_t replaced, std::string_view beginning) {
  if (!impl_ || !impl_->ok) return false;
  Impl& impl = *impl_;
  const HANDLE file = impl.file.get();
  LARGE_INTEGER zero{};
  LARGE_INTEGER end{};
  if (!impl.writer.flush() || !SetFilePointerEx(file, zero, &end, FILE_CURRENT)) {
    impl.failed(GetLastError());
    return false;
  }
  const auto written = static_cast<std::uint64_t>(end.QuadPart);
  // Where every byte is replaced, the file's end is where they end.
  std::uint64_t replacedEnd = written;
  if (replaced < impl.taken && !fileOffsetOf(file, replaced, written, replacedEnd)) {
    impl.failed(GetLastError());
    return false;
  }
  impl.taken = beginning.size() + (impl.taken - std::min<std::uint64_t>(replaced, impl.taken));
  const std::uint64_t kept = written - replacedEnd;
  // The bytes kept move to follow the new beginning, which is written in
  // front of them, each of its line feeds as two bytes.
  const std::uint64_t beginningBytes =
      beginning.size() + static_cast<std::uint64_t>(std::count(beginning.begin(), beginning.end(), '\n'));
  if ((kept > 0 && !moveWithin(file, replacedEnd, kept, beginningBytes)) || !moveTo(file, 0) ||
      !impl.writer.write(beginning) || !impl.writer.flush() ||
      !moveTo(file, beginningBytes + kept) || !SetEndOfFile(file)) {
    impl.failed(GetLastError());
  }
  return impl.ok;
}

// The writes find room as they go.
void OutputFile::expect(std::size_t) {}

bool OutputFile::commit(FileError* err) {
  if (!impl_) return fail(err, "no file is open");
  // Closed from here on, whatever happens; on failure the destructor removes
  // the new file.
  const std::unique_ptr<Impl> impl = std::move(impl_);
  if (impl->ok && !impl->writer.flush()) impl->failed(GetLastError());
  if (impl->ok && !unhide(impl->file)) impl->failed(GetLastError());
  if (!impl->file.close() && impl->ok) impl->failed(GetLastError());
  if (impl->ok && !MoveFileExW(impl->temporary.c_str(), impl->target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    impl->failed(explainReplaceFailure(GetLastError(), impl->target));
  }
  if (!impl->ok) return failWith(err, impl->error);
  impl->temporary.clear();  // it is the target now
  return true;
}

}  // namespace brindle
