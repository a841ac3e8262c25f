// Reading a script whole: large files read in parts side by side must come
// back byte for byte in order, whatever their size against the parts.
// Replacing a file: the target changes only on commit, and whole.
#include "files.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace brindle {
namespace {

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/brindle-files-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& contents) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }

  std::string dir_;
};

class ReadWholeFileTest : public TempFolderTest {};
class OutputFileTest : public TempFolderTest {};

// Bytes that differ from position to position, so that a part read to the
// wrong place or twice shows.
std::string numberedBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  return bytes;
}

TEST_F(ReadWholeFileTest, GivesEveryByteInOrder) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, 70000 * std::size_t{1},
                                 16 * kMiB - 1, 16 * kMiB, 24 * kMiB + 5, 33 * kMiB + 3}) {
    const std::string expected = numberedBytes(size);
    const std::string path = write("script", expected);
    FileContents contents;
    FileError err;
    ASSERT_TRUE(readWholeFile(path, contents, &err)) << err.reason;
    ASSERT_EQ(contents.size, size);
    ASSERT_TRUE(contents.view() == expected) << "size " << size;
  }
}

// A large script may be read mapped; whatever happens to its file
// meanwhile, reading the bytes never ends the program, and stillAsRead says
// whether they are still the file's.
TEST_F(ReadWholeFileTest, AMappedFileTellsWhetherItChanged) {
  const std::size_t size = (std::size_t{3} << 20) + 5;
  const std::string expected = numberedBytes(size);
  std::string cutShort = expected;
  std::fill(cutShort.begin() + (1 << 20), cutShort.end(), '\0');
  std::string writtenOver = expected;
  writtenOver[1000] = 'x';
  struct Case {
    const char* change;
    std::function<void(const std::string& path)> make;
    bool stillAsRead;
    const std::string& seen;  // the bytes the mapping shows afterwards
  };
  const std::vector<Case> cases = {
      {"none", [](const std::string&) {}, true, expected},
      // An editor that saves to a new file and renames it over the old one
      // leaves the old file, and so the bytes read, as they were.
      {"replaced by another file",
       [&](const std::string& path) {
         const std::string other = write("other", "label start:\n");
         ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
       },
       true, expected},
      // Past the new end, zeros.
      {"cut short", [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 1 << 20), 0); }, false,
       cutShort},
      {"written over in place",
       [](const std::string& path) {
         std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
         file.seekp(1000);
         file.put('x');
       },
       false, writtenOver},
      {"grown", [](const std::string& path) { std::ofstream(path, std::ios::binary | std::ios::app) << "more"; },
       false, expected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    const std::string path = write("script", expected);
    // An old time of last change, so that a change now shows however coarse
    // the file system's clock.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    FileContents contents;
    FileError err;
    ASSERT_TRUE(readWholeFile(path, contents, &err, ReadMode::mayMap)) << err.reason;
    ASSERT_TRUE(contents.mapping) << "a file of 3 MB is mapped";
    c.make(path);
    EXPECT_TRUE(contents.view() == c.seen);
    EXPECT_EQ(stillAsRead(contents), c.stillAsRead);
  }
  // Read without asking for a mapping, the file is copied.
  const std::string path = write("script", expected);
  FileContents copied;
  FileError err;
  ASSERT_TRUE(readWholeFile(path, copied, &err));
  EXPECT_FALSE(copied.mapping);
  EXPECT_TRUE(stillAsRead(copied));
}

// The handler for mappings cut short leaves every other bus error as it
// was: it still ends the program (by the signal, or where a sanitizer
// takes it, by the sanitizer's report).
TEST_F(ReadWholeFileTest, OtherBusErrorsStillEndTheProgram) {
  const std::string path = write("script", numberedBytes(std::size_t{2} << 20));
  FileContents contents;
  FileError err;
  ASSERT_TRUE(readWholeFile(path, contents, &err, ReadMode::mayMap)) << err.reason;
  ASSERT_TRUE(contents.mapping);
  const std::string other = write("other", numberedBytes(std::size_t{1} << 20));
  const auto endedByTheFault = [](int status) { return !WIFEXITED(status) || WEXITSTATUS(status) != 0; };
  EXPECT_EXIT(
      {
        // Exits 0 where the read returns, or nothing could be set up.
        const int fd = open(other.c_str(), O_RDONLY);
        const auto* bytes = static_cast<const volatile char*>(
            mmap(nullptr, std::size_t{1} << 20, PROT_READ, MAP_PRIVATE, fd, 0));
        if (bytes == MAP_FAILED || truncate(other.c_str(), 0) != 0) std::_Exit(0);
        const char byte = bytes[100];
        (void)byte;
        std::_Exit(0);
      },
      endedByTheFault, "");
}

TEST_F(ReadWholeFileTest, ReadsAPipeToItsEnd) {
  const std::string path = dir_ + "/pipe";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const std::string expected = numberedBytes(300000);
  std::thread writer([&] { std::ofstream(path, std::ios::binary) << expected; });
  FileContents contents;
  FileError err;
  const bool read = readWholeFile(path, contents, &err);
  writer.join();
  ASSERT_TRUE(read) << err.reason;
  EXPECT_TRUE(contents.view() == expected);
}

TEST_F(ReadWholeFileTest, NamesTheReasonItCannotRead) {
  FileContents contents;
  FileError err;
  EXPECT_FALSE(readWholeFile(dir_ + "/missing", contents, &err));
  EXPECT_EQ(err.reason, "No such file or directory");
  EXPECT_EQ(err.kind, FileErrorKind::missing);
  EXPECT_FALSE(readWholeFile(dir_, contents, &err));  // a directory
  EXPECT_EQ(err.reason, "Is a directory");
  EXPECT_EQ(err.kind, FileErrorKind::folder);
}

std::string contentsOf(const std::string& path) {
  std::ostringstream contents;
  contents << std::ifstream(path, std::ios::binary).rdbuf();
  return contents.str();
}

std::set<std::string> namesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Holds files to `bytes` (RLIM_INFINITY: no limit) while it lives.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit limited{bytes, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &before); }
  rlimit before;
};

// Writes `piece` while files may hold only a few bytes, as on a full disk.
bool writeOnFullDisk(OutputFile& output, std::string_view piece) {
  const auto onExcess = signal(SIGXFSZ, SIG_IGN);
  bool written;
  {
    const FileSizeLimit small(4);
    written = output.write(piece);
  }
  signal(SIGXFSZ, onExcess);
  return written;
}

// Pieces are held back and written in aligned blocks: whatever their sizes,
// the file holds them in order; after a restart, the new beginning in place
// of the bytes it replaces, then those kept and those that follow, though
// fewer than before, or into room set aside.
TEST_F(OutputFileTest, WritesEveryPieceInOrder) {
  constexpr std::size_t kNoRestart = SIZE_MAX;
  constexpr std::size_t kAll = SIZE_MAX;
  struct Case {
    std::vector<std::size_t> sizes;
    std::size_t restartBefore = kNoRestart;  // the piece written first after a restart
    std::size_t replaced = kAll;             // what the restart replaces
    std::size_t beginning = 0;               // and the bytes it puts there
    std::size_t expected = 0;                // told to expect()
  };
  const std::vector<Case> cases = {
      {{}},
      {{1, 2, 3}},
      {{65535, 1, 63, 64, 65}},
      {{1, 200000, 7, 65536, 131072, 3}},
      {{65600, 65600, 1}},
      {{1, 2, 3}, 1},
      {{200000, 65600, 5}, 1},
      {{65600, 65600, 1}, 3},
      {{200000, 70000, 100}, 1, kAll, 0, 32 << 20},
      {{1, 2, 3}, 2, kAll, 70000},
      // A longer beginning, a shorter one, over pending bytes only, over
      // bytes on file and kept, more than a block kept and moved on or
      // back by less, and when nothing follows.
      {{10, 20, 30}, 2, 10, 25},
      {{100, 70000, 30}, 2, 100, 3},
      {{100, 3000000, 7}, 2, 100, 1000},
      {{100, 3000000, 7}, 2, 1000, 10},
      {{200000, 65600, 5}, 2, 7, 130},
      {{200000, 70000, 100}, 2, 64, 64, 32 << 20},
      {{40}, 1, 0, 1},
  };
  for (const Case& c : cases) {
    const std::string path = dir_ + "/out.lua";
    const std::string bytes = numberedBytes(3 << 20);
    const std::string beginning(c.beginning, '#');
    std::string expected;
    OutputFile output;
    ASSERT_TRUE(output.open(path, nullptr));
    if (c.expected != 0) output.expect(c.expected);
    for (std::size_t k = 0; k < c.sizes.size(); ++k) {
      if (k == c.restartBefore) {
        EXPECT_TRUE(output.restart(c.replaced, beginning));
        expected.replace(0, std::min(c.replaced, expected.size()), beginning);
      }
      const std::string_view piece = std::string_view(bytes).substr(k, c.sizes[k]);
      EXPECT_TRUE(output.write(piece));
      expected.append(piece);
    }
    ASSERT_TRUE(output.commit(nullptr));
    EXPECT_EQ(contentsOf(path), expected)
        << c.sizes.size() << " pieces, restart before " << c.restartBefore;
  }
}

// Room expected is set aside, but the file holds only what was written,
// and what it took beyond that is given back, on disk and in memory
// (tmpfs). Under a limit on the size of files, more expected than it
// allows must not end the program (tmpfs holds room to the limit).
TEST_F(OutputFileTest, HoldsWhatWasWrittenWhateverWasExpected) {
  struct Case {
    std::size_t expected;
    std::size_t written;
    rlim_t fileLimit;  // RLIM_INFINITY for none
  };
  const std::vector<Case> cases = {{32 << 20, 1 << 20, RLIM_INFINITY},
                                   {9 << 20, 10 << 20, RLIM_INFINITY},
                                   {1 << 10, 3 << 20, RLIM_INFINITY},
                                   {32 << 20, 1 << 20, 4 << 20}};
  std::vector<std::string> folders = {dir_};
  char inMemory[] = "/dev/shm/brindle-files-test-XXXXXX";
  if (mkdtemp(inMemory) != nullptr) folders.push_back(inMemory);
  for (const std::string& folder : folders) {
    for (const Case& c : cases) {
      const std::string path = folder + "/out.lua";
      const std::string bytes = numberedBytes(c.written);
      {
        const FileSizeLimit limit(c.fileLimit);
        OutputFile output;
        ASSERT_TRUE(output.open(path, nullptr));
        output.expect(c.expected);
        EXPECT_TRUE(output.write(bytes));
        ASSERT_TRUE(output.commit(nullptr));
      }
      const std::string what = folder + ": " + std::to_string(c.expected) + " expected";
      EXPECT_TRUE(contentsOf(path) == bytes) << what;
      struct stat st;
      ASSERT_EQ(stat(path.c_str(), &st), 0);
      EXPECT_LE(static_cast<std::size_t>(st.st_blocks) * 512, c.written + (1 << 20))
          << what << ": the room beyond the bytes was kept";
    }
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"out.lua"}));
  }
  if (folders.size() > 1) std::filesystem::remove_all(folders.back());
}

TEST_F(OutputFileTest, TargetChangesOnlyOnCommit) {
  const std::string earlier = "-- earlier\n";
  const std::vector<std::string> pieces = {"-- new\n", "x = 1;\n"};
  struct Case {
    const char* name;
    const char* path;  // opened, in a folder of out.lua, link.lua -> out.lua and sub/
    bool failWrite;    // the first write fails
    bool commit;
    std::string err;
    bool replaced;  // out.lua holds the pieces afterwards, else still `earlier`
  };
  const std::vector<Case> cases = {
      {"commit", "out.lua", false, true, "", true},
      {"commit through a link", "link.lua", false, true, "", true},
      {"destroyed uncommitted", "out.lua", false, false, "", false},
      {"a failed write", "out.lua", true, true, "File too large", false},
      {"a directory, refused by open", "sub", false, false, "Is a directory", false},
  };
  for (const Case& c : cases) {
    const std::string folder = dir_ + "/" + c.name;
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::ofstream(folder + "/out.lua", std::ios::binary) << earlier;
    ASSERT_EQ(symlink("out.lua", (folder + "/link.lua").c_str()), 0);
    ASSERT_EQ(mkdir((folder + "/sub").c_str(), 0755), 0);

    FileError err;
    bool committed = false;
    {
      OutputFile output;
      if (output.open(folder + "/" + c.path, &err)) {
        // A piece this large is written at once, not held back.
        const std::string large(std::size_t{1} << 17, '-');
        EXPECT_EQ(c.failWrite ? writeOnFullDisk(output, large) : output.write(pieces[0]),
                  !c.failWrite)
            << c.name;
        EXPECT_EQ(output.write(pieces[1]), !c.failWrite) << c.name;  // dropped after a failure
        if (c.commit) committed = output.commit(&err);
      }
    }
    EXPECT_EQ(committed, c.replaced) << c.name;
    EXPECT_EQ(err.reason, c.err) << c.name;
    EXPECT_EQ(contentsOf(folder + "/out.lua"), c.replaced ? pieces[0] + pieces[1] : earlier)
        << c.name;
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "/link.lua")) << c.name;
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{"link.lua", "out.lua", "sub"}))
        << c.name << ": a new file was left behind";
  }
}

}  // namespace
}  // namespace brindle
