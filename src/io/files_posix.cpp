#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "io/files.h"
#include "memory/large_buffer.h"

namespace brindle {
namespace {

bool fail(std::string* err, const std::string& reason) {
  if (err) *err = reason;
  return false;
}

bool failErrno(std::string* err) { return fail(err, std::strerror(errno)); }

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links from `path` to the file they designate, which need
// not exist yet. `exists` tells whether it does; `st` then describes it.
bool resolveLinks(std::string path, std::string& target, bool& exists,
                  struct stat& st, std::string* err) {
  constexpr int kMaxLinks = 40;  // as the kernel allows before ELOOP
  for (int hops = 0;; ++hops) {
    if (lstat(path.c_str(), &st) != 0) {
      if (errno != ENOENT) return failErrno(err);
      exists = false;
      target = path;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      exists = true;
      target = path;
      return true;
    }
    if (hops == kMaxLinks) return fail(err, std::strerror(ELOOP));
    std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) return failErrno(err);
    std::string link(buffer.data(), static_cast<std::size_t>(length));
    path = link.front() == '/' ? link : directoryOf(path) + "/" + link;
  }
}

bool writeAll(int fd, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = write(fd, contents.data(), contents.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string& contents, std::string* err) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failErrno(err);
  contents.clear();
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    reserveLargeBuffer(contents, static_cast<std::size_t>(st.st_size));
    contents.resize(static_cast<std::size_t>(st.st_size));
  }
  // Fill the buffer sized from the file, then read on until end of file
  // rather than trusting the size: the file may have grown meanwhile.
  std::size_t filled = 0;
  char chunk[1 << 16];
  for (;;) {
    const bool inBuffer = filled < contents.size();
    char* into = inBuffer ? contents.data() + filled : chunk;
    const std::size_t room = inBuffer ? contents.size() - filled : sizeof chunk;
    const ssize_t got = read(fd, into, room);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const int saved = errno;
      close(fd);
      contents.resize(filled);
      if (got < 0) return fail(err, std::strerror(saved));
      return true;
    }
    if (!inBuffer) contents.append(chunk, static_cast<std::size_t>(got));
    filled += static_cast<std::size_t>(got);
  }
}

bool replaceFile(const std::string& path, const std::function<void(const ContentWriter&)>& produce,
                 std::string* err) {
  std::string target;
  bool exists = false;
  struct stat st;
  if (!resolveLinks(path, target, exists, st, err)) return false;
  if (exists && !S_ISREG(st.st_mode)) {
    return fail(err, S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
  }
  const mode_t mode = exists ? (st.st_mode & 07777) : newFileMode();

  const std::size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = (slash == std::string::npos ? "" : target.substr(0, slash + 1)) +
                          "." + base + ".tmp-XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return failErrno(err);

  bool ok = true;
  int saved = 0;
  const ContentWriter write = [&](std::string_view piece) {
    if (ok && !writeAll(fd, piece)) {
      ok = false;
      saved = errno;
    }
    return ok;
  };
  try {
    produce(write);
  } catch (...) {
    close(fd);
    unlink(temporary.c_str());
    throw;
  }
  if (ok && fchmod(fd, mode) != 0) {
    ok = false;
    saved = errno;
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return fail(err, std::strerror(saved));
  }
  return true;
}

}  // namespace brindle
