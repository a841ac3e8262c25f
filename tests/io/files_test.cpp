// Reading a script whole: large files read in parts side by side must come
// back byte for byte in order, whatever their size against the parts.
#include "io/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace brindle {
namespace {

class ReadWholeFileTest : public ::testing::Test {
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
    std::string err;
    ASSERT_TRUE(readWholeFile(path, contents, &err)) << err;
    ASSERT_EQ(contents.size, size);
    ASSERT_TRUE(contents.view() == expected) << "size " << size;
  }
}

TEST_F(ReadWholeFileTest, ReadsAPipeToItsEnd) {
  const std::string path = dir_ + "/pipe";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const std::string expected = numberedBytes(300000);
  std::thread writer([&] { std::ofstream(path, std::ios::binary) << expected; });
  FileContents contents;
  std::string err;
  const bool read = readWholeFile(path, contents, &err);
  writer.join();
  ASSERT_TRUE(read) << err;
  EXPECT_TRUE(contents.view() == expected);
}

TEST_F(ReadWholeFileTest, NamesTheReasonItCannotRead) {
  FileContents contents;
  std::string err;
  EXPECT_FALSE(readWholeFile(dir_ + "/missing", contents, &err));
  EXPECT_EQ(err, "No such file or directory");
  EXPECT_FALSE(readWholeFile(dir_, contents, &err));  // a directory
  EXPECT_EQ(err, "Is a directory");
}

}  // namespace
}  // namespace brindle
