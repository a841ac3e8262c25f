// Runs the real executable on whole scripts and checks every byte it writes,
// what it prints and how it exits, including when files misbehave.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e/run_brindle.h"

namespace brindle::test {
namespace {

struct Story {
  const char* name;
  std::string script;
  std::string lua;
};

const std::vector<Story>& stories() {
  static const std::vector<Story> all = {
      {"variables set up before the first label",
       "$ met = 0\n$ score = 0\nlabel start:\n    score = 1\n    if met:\n        score = 2\n"
       "    else:\n        score = 3\n    path_end\nlabel empty:\n",
       kLuaHeader +
           "met = 0;\nscore = 0;\n\n\n\n\n"
           "LABELS[\"start\"] = {\n"
           "\tfunction() \tscore = 1; end,\n"
           "\tfunction() \n\tif met then\n\n\t\tscore = 2\n\telse\n\t\tscore = 3\n\tend; end,\n"
           "\tfunction() \tpath_end(); end\n"
           "};\n\n"
           "LABELS[\"empty\"] = {\n"
           "};"},
      {"money and a shop",
       "label start:\n    $ money += 10\n    call show_text (1)\n    if money > 5:\n"
       "        jump_out shop\n    elif is_h=True:\n        $ seen = True\n    else:\n"
       "        path_end\n    $ money -= 2\n",
       kLuaHeader +
           "money = 0;\nseen = 0;\n\n\n\n\n"
           "LABELS[\"start\"] = {\n"
           "\tfunction() \t money = money +  10; end,\n"
           "\tfunction() \tshow_text(1); end,\n"
           "\tfunction() \n\tif money > 5 then\n\n\t\tjump_out (\"shop\")\n\telseif true then\n"
           "\t\t seen = true\n\telse\n\t\tpath_end()\n\tend; end,\n"
           "\tfunction() \t money = money -  2; end\n"
           "};"},
      {"a chain nested in an elif chain",
       "label start:\n\tif a:\n\t\tx = 1\n\t\tif b:\n\t\t\tx = 2\n\t\ty = 1\n\telif c:\n"
       "\t\tx = 3\n\telse:\n\tz = 1\n",
       kLuaHeader +
           "\n\n\n\nLABELS[\"start\"] = {\n"
           "\tfunction() \n\tif a then\n\n\t\tx = 1\n\t\tif b then\n\n\t\t\tx = 2\n\t\tend\n"
           "\t\ty = 1\n\telseif c then\n\t\tx = 3\n\telse\n\tend; end,\n"
           "\tfunction() \tz = 1; end\n"
           "};"},
      {"empty script", "", kLuaHeader + "\n\n"},
  };
  return all;
}

// The earlier output.lua that every failure must leave alone.
const std::string kEarlier = "-- an earlier output\n";

// Turns every line feed into a carriage return and a line feed.
std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(CliTest, ConvertsStoriesByteForByte) {
  for (const Story& story : stories()) {
    std::vector<std::string> inputs = {story.script, withCrLf(story.script)};
    if (!story.script.empty()) inputs.push_back(story.script.substr(0, story.script.size() - 1));
    for (const std::string& input : inputs) {
      TempDir dir;
      writeFile(dir.file("test.py"), input);
      const RunResult run = runBrindle(dir.path());
      EXPECT_EQ(run.exitCode, 0) << story.name;
      EXPECT_EQ(run.out, "") << story.name;
      EXPECT_EQ(readFile(dir.file("output.lua")), story.lua) << story.name;
      EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"output.lua", "test.py"}))
          << story.name;
    }
  }
}

TEST(CliTest, WarnsOnStandardErrorWithoutChangingTheResult) {
  struct Case {
    const char* name;
    std::string script;
    std::string err;
    std::string luaAfterHeader;
  };
  const std::vector<Case> cases = {
      {"well-formed", "label a:\n    $ x = 1\n", "", "x = 0;\n\n\n\n\nLABELS[\"a\"] = {\n\tfunction() \t x = 1; end\n};"},
      {"statements before the first label",
       "$ met = 0\n$ score = 0\nlabel a:\n",
       "test.py:1: warning: 2 statements before the first label belong to no label and were "
       "left out of the output\n",
       "met = 0;\nscore = 0;\n\n\n\n\nLABELS[\"a\"] = {\n};"},
      // A byte-order mark at the start and Ctrl-Z at the very end are no
      // part of the script; a Ctrl-Z elsewhere is.
      {"byte-order mark", "\xEF\xBB\xBFlabel a:\nx\n", "",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() x; end\n};"},
      {"byte-order mark, then no label", "\xEF\xBB\xBFx\nlabel a:\n",
       "test.py:1: warning: 1 statement before the first label belongs to no label and was "
       "left out of the output\n",
       "\n\n\n\nLABELS[\"a\"] = {\n};"},
      {"Ctrl-Z at the end", "label a:\nx\n\x1A\x1A", "",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() x; end\n};"},
      {"Ctrl-Z inside", "label a:\nx\x1Ay\n\x1A",  "",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() x\x1Ay; end\n};"},
      {"label without a name", "label\nx\n",
       "test.py:1: warning: label has no name; its block is named \"\"\n",
       "\n\n\n\nLABELS[\"\"] = {\n\tfunction() x; end\n};"},
      {"variable without a name", "label a:\n$\n$  = 1\n", "",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() ; end,\n\tfunction()   = 1; end\n};"},
      {"jump without a target", "label a:\njump_out\n",
       "test.py:2: warning: jump_out has no target; the line is left unquoted\n",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() jump_out; end\n};"},
      {"jump to a label the script lacks", "label a:\njump_out b\n",
       "test.py:2: warning: jump_out leads to \"b\", which no label of this script defines\n",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() jump_out (\"b\"); end\n};"},
      {"label defined twice", "label a:\nx\nlabel a:\n",
       "test.py:3: warning: label \"a\" is defined again; this table replaces the one of line 1 "
       "in LABELS\n",
       "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() x; end\n};\n\nLABELS[\"a\"] = {\n};"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), c.script);
    const RunResult run = runBrindle(dir.path());
    EXPECT_EQ(run.exitCode, 0) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(run.err, c.err) << c.name;
    EXPECT_EQ(readFile(dir.file("output.lua")), kLuaHeader + c.luaAfterHeader) << c.name;
  }
}

// `text` in UTF-16, as Windows editors save "Unicode": with the byte-order
// mark of the order given, or, with `mark` false, without one.
std::string utf16(std::u16string_view text, bool bigEndian, bool mark = true) {
  std::string bytes = !mark ? "" : bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(CliTest, ConvertsUtf16AsItsTextAndRefusesMalformedUtf16) {
  struct Case {
    const char* name;
    std::string script;
    int exitCode;
    std::string err;
    std::string lua;  // output.lua afterwards
  };
  const std::string story = kLuaHeader +
                            "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() jump_out; end,\n"
                            "\tfunction() e \"\xC3\xA9\xF0\x9F\x98\x80\"; end\n};";
  const std::string warning = "test.py:2: warning: jump_out has no target; the line is left unquoted\n";
  const std::u16string text = u"label a:\r\njump_out\r\ne \"\u00e9\U0001F600\"\r\n";
  const std::string refused = "brindle: error: cannot read test.py: it is UTF-16 text, but ";
  const std::vector<Case> cases = {
      {"UTF-16 LE", utf16(text, false), 0, warning, story},
      {"UTF-16 BE", utf16(text, true), 0, warning, story},
      {"UTF-16 LE, Ctrl-Z at the end", utf16(text + u"\x1A", false), 0, warning, story},
      {"UTF-16 BE, a Ctrl-Z byte after it", utf16(text, true) + "\x1A", 0, warning, story},
      {"UTF-16, odd length", utf16(text, false) + "x", 1,
       refused + "it ends in half a character; save it as UTF-8 and run again\n", kEarlier},
      {"UTF-16, unpaired surrogate", utf16(u"label a:\n\xD83Dx\n", true), 1,
       refused + "line 2 holds half of a character (an unpaired surrogate); save it as UTF-8 "
                 "and run again\n",
       kEarlier},
      {"UTF-16 without a mark", utf16(u"label a:\n", false, false), 0,
       "test.py:1: warning: this file looks like UTF-16 text without a byte-order mark, which "
       "is read here as the bytes it is; save it as UTF-8\n"
       "test.py:1: warning: 2 statements before the first label belong to no label and were "
       "left out of the output\n",
       kLuaHeader + "\n\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), c.script);
    writeFile(dir.file("output.lua"), kEarlier);
    const RunResult run = runBrindle(dir.path());
    EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(run.err, c.err) << c.name;
    EXPECT_EQ(readFile(dir.file("output.lua")), c.lua) << c.name;
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"output.lua", "test.py"})) << c.name;
  }
}

TEST(CliTest, AnnouncesEntriesOfLabelR28OnStandardOutput) {
  TempDir dir;
  writeFile(dir.file("test.py"), "label R28:\nx\nif a:\n    y\nz\nlabel r28:\nw\n");
  const RunResult run = runBrindle(dir.path());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "nadasnadasnadas");
}

// `text` with every "FOLDER" in it replaced by the full path of `dir`.
std::string inFolder(std::string text, const TempDir& dir) {
  const std::string folder = std::filesystem::canonical(dir.path()).string();
  for (std::size_t at = text.find("FOLDER"); at != std::string::npos; at = text.find("FOLDER")) {
    text.replace(at, 6, folder);
  }
  return text;
}

TEST(CliTest, UnreadableScriptIsAnErrorAndTouchesNothing) {
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> prepare;
    std::string err;  // FOLDER stands for the folder's full path
  };
  const auto files = [](std::vector<const char*> names) {
    return [names](const TempDir& d) {
      for (const char* name : names) writeFile(d.file(name), "label a:\n");
    };
  };
  const std::string missing = "brindle: error: cannot read test.py: there is no test.py in FOLDER";
  const std::vector<Case> cases = {
      {"missing", [](const TempDir&) {}, missing + "\n"},
      {"a directory", [](const TempDir& d) { mkdir(d.file("test.py").c_str(), 0755); },
       "brindle: error: cannot read test.py: it is a folder, not a file\n"},
      {"a dangling link", [](const TempDir& d) { symlink("nowhere", d.file("test.py").c_str()); },
       missing + "\n"},
      {"missing beside test.py.txt", files({"test.py.txt", "story.py"}),
       missing + ", but there is test.py.txt (its ending .txt may be hidden); rename it to "
                 "test.py\n"},
      {"missing beside TEST.PY", files({"test.py.txt", "TEST.PY", "test.txt"}),
       missing + ", but there is TEST.PY; rename it to test.py\n"},
      {"missing beside test.txt", files({"test.txt", "tests.py"}),
       missing + ", but there is test.txt (its ending .txt may be hidden); rename it to "
                 "test.py\n"},
  };
  for (const Case& c : cases) {
    for (bool hadOutput : {false, true}) {
      TempDir dir;
      c.prepare(dir);
      if (hadOutput) writeFile(dir.file("output.lua"), kEarlier);
      const RunResult run = runBrindle(dir.path());
      EXPECT_EQ(run.exitCode, 1) << c.name;
      EXPECT_EQ(run.out, "") << c.name;
      EXPECT_EQ(run.err, inFolder(c.err, dir)) << c.name;
      if (hadOutput) {
        EXPECT_EQ(readFile(dir.file("output.lua")), kEarlier) << c.name;
      } else {
        EXPECT_FALSE(exists(dir.file("output.lua"))) << c.name;
      }
    }
  }
}

TEST(CliTest, LinkedScriptIsFollowed) {
  TempDir dir;
  writeFile(dir.file("story.py"), "label a:\nx\n");
  symlink("story.py", dir.file("test.py").c_str());
  EXPECT_EQ(runBrindle(dir.path()).exitCode, 0);
  EXPECT_EQ(readFile(dir.file("output.lua")),
            kLuaHeader + "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() x; end\n};");
}

TEST(CliTest, OutputThatIsNotARegularFileIsRefused) {
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> prepare;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"a directory", [](const TempDir& d) { mkdir(d.file("output.lua").c_str(), 0755); },
       "brindle: error: cannot write output.lua: it is a folder, not a file\n"},
      {"a link to a device",
       [](const TempDir& d) { symlink("/dev/null", d.file("output.lua").c_str()); },
       "brindle: error: cannot write output.lua: not a regular file\n"},
      {"a link to a directory",
       [](const TempDir& d) {
         mkdir(d.file("sub").c_str(), 0755);
         symlink("sub", d.file("output.lua").c_str());
       },
       "brindle: error: cannot write output.lua: it is a folder, not a file\n"},
      {"a link loop", [](const TempDir& d) { symlink("output.lua", d.file("output.lua").c_str()); },
       "brindle: error: cannot write output.lua: Too many levels of symbolic links\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), "label a:\nx\n");
    c.prepare(dir);
    const auto before = filesIn(dir.path());
    const RunResult run = runBrindle(dir.path());
    EXPECT_EQ(run.exitCode, 1) << c.name;
    EXPECT_EQ(run.err, c.err) << c.name;
    EXPECT_EQ(filesIn(dir.path()), before) << c.name;
  }
}

TEST(CliTest, LinkedOutputReplacesTheFileItDesignates) {
  TempDir dir;
  writeFile(dir.file("test.py"), "label a:\n");
  mkdir(dir.file("out").c_str(), 0755);
  writeFile(dir.file("out/real.lua"), kEarlier);
  chmod(dir.file("out/real.lua").c_str(), 0640);
  symlink("out/real.lua", dir.file("output.lua").c_str());
  symlink("out/missing.lua", dir.file("dangling.lua").c_str());

  EXPECT_EQ(runBrindle(dir.path()).exitCode, 0);
  const std::string expected = kLuaHeader + "\n\n\n\nLABELS[\"a\"] = {\n};";
  EXPECT_EQ(readFile(dir.file("out/real.lua")), expected);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("output.lua")));
  struct stat st;
  ASSERT_EQ(stat(dir.file("out/real.lua").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file keeps its permissions
  EXPECT_EQ(filesIn(dir.file("out")), (std::vector<std::string>{"real.lua"}));

  // A link to a file that does not exist yet creates that file.
  std::filesystem::remove(dir.file("output.lua"));
  std::filesystem::rename(dir.file("dangling.lua"), dir.file("output.lua"));
  EXPECT_EQ(runBrindle(dir.path()).exitCode, 0);
  EXPECT_EQ(readFile(dir.file("out/missing.lua")), expected);
}

TEST(CliTest, FailedWriteKeepsTheEarlierOutput) {
  TempDir dir;
  writeFile(dir.file("test.py"), "label a:\n" + std::string(100000, 'x') + "\n");
  writeFile(dir.file("output.lua"), kEarlier);
  // A file-size limit fails the write part way, as a full disk would; the
  // signal it sends by default would end the program.
  const RunResult run = runBrindle(dir.path(), [] {
    signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "brindle: error: cannot write output.lua: File too large\n");
  EXPECT_EQ(readFile(dir.file("output.lua")), kEarlier);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"output.lua", "test.py"}));
}

// Can a user without privileges reach and start the executable?
bool othersCanRunBrindle() {
  for (std::filesystem::path p = BRINDLE_EXECUTABLE; p != p.root_path(); p = p.parent_path()) {
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || !(st.st_mode & S_IXOTH)) return false;
  }
  return true;
}

TEST(CliTest, ReadOnlyOutputOrFolderKeepsTheEarlierOutput) {
  if (geteuid() == 0 && !othersCanRunBrindle()) {
    GTEST_SKIP() << "running as root, and user nobody cannot reach " BRINDLE_EXECUTABLE;
  }
  struct Case {
    const char* name;
    mode_t folderMode, outputMode;
    std::string err;  // FOLDER stands for the folder's full path
  };
  const std::vector<Case> cases = {
      {"folder not writable", 0555, 0666,
       "brindle: error: cannot write output.lua: Permission denied; Brindle may not write in "
       "FOLDER: make the folder writable, or work in one of your own, and run again\n"},
      {"output.lua read-only", 0777, 0444,
       "brindle: error: cannot write output.lua: it is read-only; make it writable and run "
       "again\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), "label a:\n");
    writeFile(dir.file("output.lua"), kEarlier);
    chmod(dir.file("test.py").c_str(), 0644);
    chmod(dir.file("output.lua").c_str(), c.outputMode);
    chmod(dir.path().c_str(), c.folderMode);
    // Permissions do not bind root, so a root test run drops to "nobody".
    const RunResult run = runBrindle(dir.path(), [] {
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    });
    EXPECT_EQ(run.exitCode, 1) << c.name;
    EXPECT_EQ(run.err, inFolder(c.err, dir)) << c.name;
    EXPECT_EQ(readFile(dir.file("output.lua")), kEarlier) << c.name;
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"output.lua", "test.py"})) << c.name;
  }
}

TEST(CliTest, ArgumentsAreIgnoredWithAWarning) {
  TempDir dir;
  writeFile(dir.file("test.py"), "label a:\nx\n");
  writeFile(dir.file("story.py"), "label b:\n");
  const RunResult run = runBrindle(dir.path(), {}, {dir.file("story.py"), "--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, inFolder("brindle: warning: Brindle takes no arguments and ignores them; "
                              "it reads test.py in FOLDER\n", dir));
  EXPECT_EQ(readFile(dir.file("output.lua")),
            kLuaHeader + "\n\n\n\nLABELS[\"a\"] = {\n\tfunction() x; end\n};");
}

// Holds the process to 64 MiB of address space, less than the scripts below
// need to convert.
void limitMemory() {
  const rlimit limit{64 << 20, 64 << 20};
  setrlimit(RLIMIT_AS, &limit);
}

TEST(CliTest, ExhaustedMemoryWritesNothing) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
  // A chain is one entry, written whole before any of it leaves memory.
  std::string oneHugeEntry = "label a:\nif x:\n";
  for (int i = 0; i < 10000000; ++i) oneHugeEntry += "\tx\n";
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"one entry outgrows memory", oneHugeEntry},
      {"input larger than memory", "label a:\n" + std::string(96 << 20, 'x')},
  };
  for (const auto& [name, script] : cases) {
    TempDir dir;
    writeFile(dir.file("test.py"), script);
    writeFile(dir.file("output.lua"), kEarlier);
    const RunResult run = runBrindle(dir.path(), limitMemory);
    EXPECT_EQ(run.exitCode, 1) << name;
    EXPECT_EQ(run.out, "\nFailed to output\n") << name;
    EXPECT_EQ(run.err, "brindle: error: out of memory; output.lua was not written\n") << name;
    EXPECT_EQ(readFile(dir.file("output.lua")), kEarlier) << name;
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"output.lua", "test.py"})) << name;
  }
}

TEST(CliTest, OutputLargerThanMemoryIsWrittenAsItIsMade) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
  // 16 MB of one-word statements become about 150 MB of Lua, which only
  // fits through the limit if the text leaves memory as it is written.
  // Its one table is grouped in pieces, which leave as they are written too.
  constexpr int kLines = 8000000;
  std::string script = "label a:\n";
  for (int i = 0; i < kLines; ++i) script += "x\n";
  std::string lua = kLuaHeader + "\n\n";
  appendTableInPieces(lua, "a", kLines, [](std::size_t) { return "x"; });
  TempDir dir;
  writeFile(dir.file("test.py"), script);
  const RunResult run = runBrindle(dir.path(), limitMemory);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(readFile(dir.file("output.lua")) == lua) << "output.lua differs";
}

TEST(CliTest, NewOutputTakesTheUsualPermissions) {
  TempDir dir;
  writeFile(dir.file("test.py"), "label a:\n");
  const RunResult run = runBrindle(dir.path(), [] { umask(022); });
  EXPECT_EQ(run.exitCode, 0);
  struct stat st;
  ASSERT_EQ(stat(dir.file("output.lua").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace brindle::test
