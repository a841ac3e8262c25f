// The file-system side of a run: reading the script whole, and replacing the
// output file so that readers never see a partial or mixed file. Nothing needs
// setting up first; each OutputFile is used by one thread at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "large_buffer.h"

namespace brindle {

// Where a file's bytes begin in memory: on a page boundary. The system's
// copy from a file into memory that is not aligned to a cache line can be
// several times slower (100 MB from tmpfs on an AMD EPYC: 50 ms, against 15
// aligned).
inline constexpr std::size_t kFileAlignment = 4096;

// A file mapped into memory, on systems that have it (files_posix.cpp).
struct FileMapping;
struct FileMappingDelete {
  void operator()(FileMapping* mapping) const;
};

// A file's bytes in one buffer that holds nothing before they are read into
// it: filling a buffer of a hundred megabytes with zeros first would cost
// about as much as reading the file. Or, read with ReadMode::mayMap, the
// file itself mapped into memory: `mapping` is set, `bytes` is empty, and
// `mapped` points at the bytes.
struct FileContents {
  BufferBytes bytes;
  std::size_t size = 0;      // bytes read so far
  std::size_t capacity = 0;  // room in `bytes`
  std::unique_ptr<FileMapping, FileMappingDelete> mapping;
  const char* mapped = nullptr;

  std::string_view view() const { return {mapping ? mapped : bytes.get(), size}; }
};

// Makes room for at least `more` bytes after the ones read, keeping those.
inline void makeRoom(FileContents& contents, std::size_t more) {
  if (contents.capacity - contents.size >= more) return;
  const std::size_t capacity = std::max(contents.size + more, 2 * contents.capacity);
  BufferBytes bytes = allocateBuffer(capacity, kFileAlignment);
  if (contents.size > 0) std::memcpy(bytes.get(), contents.bytes.get(), contents.size);
  contents.bytes = std::move(bytes);
  contents.capacity = capacity;
}

// What kind of failure a file operation met, so that a message can say what
// to do about it.
enum class FileErrorKind {
  other,     // anything else: the system's reason says what
  missing,   // there is no such file
  folder,    // a folder stands where the file should be
  readOnly,  // the file is marked read-only
  inUse,     // another program holds the file open or locked
  denied,    // the system refuses otherwise (a folder not writable, a read-only disk)
};

// A failure: its kind and the system's reason (for example "No such file or
// directory").
struct FileError {
  FileErrorKind kind = FileErrorKind::other;
  std::string reason;
};

// Reads the whole file at `path` into `contents`, sized from the file but
// read on until its end, as it may have grown meanwhile. On failure returns
// false with the failure in `*err`.
//
// With ReadMode::mayMap, a large regular file may instead be mapped into
// memory, on Linux: its bytes are then the system's own copy of the file,
// which costs neither the copy nor fresh memory for it. A mapping shows
// what the file holds while it is read, not what it held at the start: a
// caller that reads it for long asks stillAsRead at the end. Should the file
// shrink meanwhile, the bytes past its new end read as zeros, where a plain
// mapping would end the program.
enum class ReadMode { copy, mayMap };
bool readWholeFile(const std::string& path, FileContents& contents, FileError* err,
                   ReadMode mode = ReadMode::copy);

// Whether the file is as it was read: always, for bytes copied; for a
// mapping, whether the file still has the size and the time of its last
// change that it had when mapped, and no byte read as zeros.
bool stillAsRead(const FileContents& contents);

// Has a write that would take a file past the limit on file sizes (ulimit
// -f) fail with the reason, as a full disk does, instead of ending the
// program and leaving its new file behind, which is what the system does
// by default on POSIX. Call it first thing in a program that writes files;
// elsewhere it does nothing.
void failWritesPastFileSizeLimit();

// A replacement for the file at a path, under construction: a new, uniquely
// named file beside the target, renamed over it only by commit(). Until then
// the target is untouched; destroyed uncommitted (after an error, or while an
// exception such as std::bad_alloc unwinds), it removes its new file.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the new file beside the file that `path` designates: symbolic
  // links are followed, so that the file they lead to is replaced and the
  // links stay. A target that exists but is not a regular file, or that the
  // user may not write, is refused. A file begun earlier and not committed is
  // discarded first. On failure returns false with the failure in `*err`;
  // nothing is created then.
  bool open(const std::string& path, FileError* err);

  // Appends `piece` to the new file (on Windows with every line feed as a
  // carriage return and a line feed). Returns false when no file is open or
  // once a write has failed; later pieces are then dropped. Bytes may be
  // held back for a later write, so a failure may show only then, or at
  // commit().
  bool write(std::string_view piece);

  // Puts `beginning` in place of the first `replaced` bytes written and
  // keeps those after them, which the writes to come follow; where
  // `replaced` is as many as were written or more, the file then holds
  // `beginning` alone. Returns false when no file is open or a write has
  // failed.
  bool restart(std::size_t replaced, std::string_view beginning);

  // Tells the new file that about `bytes` bytes are to come. For a large
  // file, the system sets room aside for them meanwhile, on a thread of its
  // own (on Linux; elsewhere, and where the file system cannot, the writes
  // find room as they go). The file's bytes and size stay what the writes
  // make them, and room set aside beyond them is given back at commit().
  void expect(std::size_t bytes);

  // Completes the new file (on POSIX with the permissions of the file it
  // replaces, or 0666 less the umask for a new one), closes it and renames
  // it over the target. On failure, a failed write included, removes the new
  // file, leaves the target as it was and returns false with the failure in
  // `*err`, also when no file is open. Either way no file is open afterwards.
  bool commit(FileError* err);

 private:
  struct Impl;  // the platform's state: the open file and the names involved
  std::unique_ptr<Impl> impl_;
};

}  // namespace brindle
