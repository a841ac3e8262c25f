// File-system faults, end to end: a disk that really fills up while
// output.lua is written, and two brindle runs in one folder at the same time.
// Whatever happens, output.lua is a complete output or the earlier file,
// byte for byte, and no temporary file is left behind.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "e2e/run_brindle.h"

namespace brindle::test {
namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += name + "\n";
  return out;
}

// A script of `count` plain statements under label `name`, and its output.
struct Story {
  std::string script;
  std::string lua;
};

Story plainStory(const std::string& name, std::size_t count) {
  Story story{"label " + name + ":\n", kLuaHeader + "\n\n\n\nLABELS[\"" + name + "\"] = {"};
  for (std::size_t i = 0; i < count; ++i) {
    const std::string statement = name + "_" + std::to_string(i);
    story.script += statement + "\n";
    story.lua += "\n\tfunction() " + statement + (i + 1 < count ? "; end," : "; end");
  }
  story.lua += "\n};";
  return story;
}

constexpr int kNoNamespace = 90;  // exit codes of the isolated child
constexpr int kNoMount = 91;

void writeReason(const std::string& path, const char* what) {
  writeFile(path, std::string(what) + ": " + std::strerror(errno));
}

// Maps the calling user to root in a new user namespace, which lets a user
// without privileges mount a tmpfs in the mount namespace that comes with it.
bool becomeRootInUserNamespace(uid_t uid, gid_t gid) {
  const auto put = [](const char* file, const std::string& text) {
    const int fd = open(file, O_WRONLY);
    if (fd < 0) return false;
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
  };
  return put("/proc/self/setgroups", "deny") &&
         put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
         put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

// Runs `inside` in a child process with a mount namespace of its own, where a
// tmpfs with `options` covers the folder `disk`; nothing outside the child
// sees that file system, and it vanishes with the child. Returns an empty
// string once `inside` has run, otherwise why the namespace or the mount
// could not be had here.
std::string onPrivateTmpfs(const std::string& disk, const std::string& options,
                           const std::string& reasonFile, const std::function<void()>& inside) {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    const int flags = CLONE_NEWNS | (uid == 0 ? 0 : CLONE_NEWUSER);
    if (unshare(flags) != 0 || (uid != 0 && !becomeRootInUserNamespace(uid, gid)) ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      writeReason(reasonFile, "cannot make a private mount namespace");
      _exit(kNoNamespace);
    }
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      writeReason(reasonFile, "cannot mount a tmpfs");
      _exit(kNoMount);
    }
    inside();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == kNoNamespace || code == kNoMount) return readFile(reasonFile);
  ADD_FAILURE() << "the isolated child failed with status " << status;
  return "the isolated child failed";
}

TEST(FileSystemFaultTest, FullDiskKeepsTheEarlierOutput) {
  const Story story = plainStory("a", 5000);  // about 100 KB of output
  const std::string earlier = "-- an earlier output\n" + std::string(4000, '-') + "\n";
  struct Case {
    const char* name;
    std::string tmpfsOptions;
    int exitCode;
    std::string err;
    std::string lua;  // output.lua afterwards
  };
  const std::vector<Case> cases = {
      // Room for everything: shows that the tmpfs itself works.
      {"room enough", "size=1m", 0, "", story.lua},
      // 64 KiB hold the script and the earlier output but not the new one.
      {"space runs out while writing", "size=64k", 1,
       "brindle: error: cannot write output.lua: No space left on device\n", earlier},
      // The folder, test.py and output.lua take the only three inodes.
      {"no inode left for the new file", "size=1m,nr_inodes=3", 1,
       "brindle: error: cannot write output.lua: No space left on device\n", earlier},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string disk = dir.file("disk");
    std::filesystem::create_directory(disk);
    // What the child saw, kept outside the tmpfs, which goes with the child.
    const std::string skipReason = onPrivateTmpfs(disk, c.tmpfsOptions, dir.file("reason"), [&] {
      writeFile(disk + "/test.py", story.script);
      writeFile(disk + "/output.lua", earlier);
      const RunResult run = runBrindle(disk);
      writeFile(dir.file("exit"), std::to_string(run.exitCode));
      writeFile(dir.file("err"), run.err);
      writeFile(dir.file("lua"), readFile(disk + "/output.lua"));
      writeFile(dir.file("files"), joined(filesIn(disk)));
    });
    if (!skipReason.empty()) {
      GTEST_SKIP() << "no private tmpfs here (" << skipReason
                   << "); the file-size limit test in cli_test.cpp stands in for a full disk";
    }
    EXPECT_EQ(readFile(dir.file("exit")), std::to_string(c.exitCode)) << c.name;
    EXPECT_EQ(readFile(dir.file("err")), c.err) << c.name;
    EXPECT_TRUE(readFile(dir.file("lua")) == c.lua) << c.name;
    EXPECT_EQ(readFile(dir.file("files")), "output.lua\ntest.py\n") << c.name;
    EXPECT_EQ(filesIn(disk), std::vector<std::string>{}) << c.name << ": the tmpfs leaked out";
  }
}

// Starts brindle in `dir` without waiting for it; standard error goes to
// `errPath`, standard output nowhere.
pid_t startBrindle(const std::string& dir, const std::string& errPath) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int out = open("/dev/null", O_WRONLY);
    if (err < 0 || out < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0) {
      _exit(127);
    }
    execl(BRINDLE_EXECUTABLE, "brindle", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int exitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

// Points the link test.py at `target` in one step, as a rename replaces it.
void pointScriptAt(const TempDir& dir, const std::string& target) {
  const std::string fresh = dir.file("test.py.next");
  ASSERT_EQ(symlink(target.c_str(), fresh.c_str()), 0) << std::strerror(errno);
  ASSERT_EQ(std::rename(fresh.c_str(), dir.file("test.py").c_str()), 0) << std::strerror(errno);
}

// Opens the writing end of the FIFO at `path` once a reader has opened the
// other end; -1 when none does within five seconds.
int openWhenRead(const std::string& path) {
  for (int attempt = 0; attempt < 5000; ++attempt) {
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO) return -1;
    usleep(1000);
  }
  return -1;
}

// Writes both texts in turns of a few kilobytes, so that both readers get
// their last byte at about the same moment, and closes each FIFO when done.
bool feedTogether(int oneFd, const std::string& one, int twoFd, const std::string& two) {
  constexpr std::size_t kTurn = 8192;
  bool ok = true;
  for (std::size_t at = 0; at < std::max(one.size(), two.size()); at += kTurn) {
    for (const auto& [fd, text] : {std::pair{oneFd, &one}, std::pair{twoFd, &two}}) {
      if (at >= text->size()) continue;
      const std::size_t size = std::min(kTurn, text->size() - at);
      std::size_t done = 0;
      while (ok && done < size) {
        const ssize_t written = write(fd, text->data() + at + done, size - done);
        ok = written > 0;
        if (ok) done += static_cast<std::size_t>(written);
      }
    }
  }
  close(oneFd);
  close(twoFd);
  return ok;
}

// Ignores a signal for as long as it lives.
class IgnoredSignal {
 public:
  explicit IgnoredSignal(int number) : number_(number), previous_(signal(number, SIG_IGN)) {}
  ~IgnoredSignal() { signal(number_, previous_); }
  IgnoredSignal(const IgnoredSignal&) = delete;
  IgnoredSignal& operator=(const IgnoredSignal&) = delete;

 private:
  int number_;
  sighandler_t previous_;
};

// Each sanitized run spends some 60 ms just starting, so a sanitized build
// runs a quarter of the pairs.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kPairs = 50;
#else
constexpr int kPairs = 200;
#endif

TEST(FileSystemFaultTest, SimultaneousRunsLeaveOneCompleteOutput) {
  const Story first = plainStory("first", 3000);
  const Story second = plainStory("second", 3000);
  const std::string earlier = "-- an earlier output\n";
  // The runs read their scripts from FIFOs out here, so that both can be held
  // until each has opened its own and then be let go together; their
  // standard error lands here too.
  TempDir outside;
  const std::string firstFifo = outside.file("first.fifo");
  const std::string secondFifo = outside.file("second.fifo");
  ASSERT_EQ(mkfifo(firstFifo.c_str(), 0600), 0) << std::strerror(errno);
  ASSERT_EQ(mkfifo(secondFifo.c_str(), 0600), 0) << std::strerror(errno);
  TempDir dir;
  writeFile(dir.file("output.lua"), earlier);
  const std::vector<std::string> files = {"output.lua", "test.py"};
  const IgnoredSignal ignoredPipe(SIGPIPE);  // a dead reader fails a write instead

  std::size_t reads = 0;
  std::size_t firstWon = 0;
  for (int pair = 0; pair < kPairs; ++pair) {
    // test.py leads to the first FIFO until the first run has opened it.
    pointScriptAt(dir, firstFifo);
    const pid_t one = startBrindle(dir.path(), outside.file("one.err"));
    const int oneFd = openWhenRead(firstFifo);
    pointScriptAt(dir, secondFifo);
    const pid_t two = startBrindle(dir.path(), outside.file("two.err"));
    const int twoFd = openWhenRead(secondFifo);
    ASSERT_TRUE(one > 0 && two > 0 && oneFd >= 0 && twoFd >= 0) << "pair " << pair;
    // Alternate who gets the head start.
    const bool fed = pair % 2 == 0 ? feedTogether(oneFd, first.script, twoFd, second.script)
                                   : feedTogether(twoFd, second.script, oneFd, first.script);
    EXPECT_TRUE(fed) << "pair " << pair;

    // Read output.lua over and over while they convert and write: a reader
    // must never see a partial or mixed file.
    int statusOne = 0;
    int statusTwo = 0;
    bool oneDone = false;
    bool twoDone = false;
    while (!oneDone || !twoDone) {
      const std::string seen = readFile(dir.file("output.lua"));
      ++reads;
      ASSERT_TRUE(seen == first.lua || seen == second.lua || seen == earlier)
          << "pair " << pair << ": a reader saw " << seen.size() << " bytes of no complete output";
      if (!oneDone) oneDone = waitpid(one, &statusOne, WNOHANG) == one;
      if (!twoDone) twoDone = waitpid(two, &statusTwo, WNOHANG) == two;
    }
    ASSERT_EQ(exitCodeOf(statusOne), 0) << "pair " << pair;
    ASSERT_EQ(exitCodeOf(statusTwo), 0) << "pair " << pair;
    ASSERT_EQ(readFile(outside.file("one.err")) + readFile(outside.file("two.err")), "")
        << "pair " << pair;
    const std::string lua = readFile(dir.file("output.lua"));
    ASSERT_TRUE(lua == first.lua || lua == second.lua)
        << "pair " << pair << ": output.lua holds " << lua.size() << " bytes of no single run";
    if (lua == first.lua) ++firstWon;
    ASSERT_EQ(filesIn(dir.path()), files) << "pair " << pair << ": a temporary file was left";
  }
  std::cout << kPairs << " pairs, " << reads << " reads while running; the first script's "
            << "output was left " << firstWon << " times, the second's " << kPairs - firstWon
            << " times\n";
}

}  // namespace
}  // namespace brindle::test
