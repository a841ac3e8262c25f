// The layout of declarations and tables: flat up to the limit of items one
// Lua function holds, byte for byte; grouped above it, as spelled out here.
#include "layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output_texts.h"
#include "plain_forms.h"
#include "variables.h"

namespace brindle {
namespace {

// The header, whose text the writer's tests spell out.
const std::string kHeader(kLuaHeader);

// `variables` names set in one label, then `extra` plain entries more: the
// script, and its text in the flat layout.
struct Story {
  std::string script;
  std::string flat;
};

Story storyOf(std::size_t variables, std::size_t extra) {
  Story story{"label a:\n", kHeader};
  std::string entries;
  for (std::size_t i = 0; i < variables + extra; ++i) {
    std::string name = "v";
    name.append(std::to_string(i));
    if (i > 0) entries.push_back(',');
    entries.append("\n\tfunction() ");
    if (i < variables) {
      story.script.append("$ ").append(name).append(" = 1\n");
      story.flat.append(name).append(" = 0;\n");
      entries.append(" ").append(name).append(" = 1");
    } else {
      story.script.append("x\n");
      entries.append("x");
    }
    entries.append("; end");
  }
  story.flat.append("\n\n\n\nLABELS[\"a\"] = {").append(entries).append("\n};");
  return story;
}

TEST(LayoutTest, FlatUpToTheLimitOfItemsGroupedAbove) {
  struct Case {
    std::size_t variables, extra;  // items: the variables twice, the table, the extras
    Layout layout;
  };
  const std::vector<Case> cases = {
      {0, 0, Layout::flat},
      {0, kMostItemsPerFunction - 1, Layout::flat},
      {0, kMostItemsPerFunction, Layout::grouped},
      {kMostItemsPerFunction / 2 - 1, 1, Layout::flat},
      {kMostItemsPerFunction / 2, 0, Layout::grouped},
  };
  for (const Case& c : cases) {
    const std::string context =
        std::to_string(c.variables) + " variables, " + std::to_string(c.extra) + " more entries";
    const std::size_t items = 2 * c.variables + 1 + c.extra;
    EXPECT_EQ(chooseLayout(items, kMostItemsPerFunction), c.layout) << context;
    const Story story = storyOf(c.variables, c.extra);
    Conversion converted;
    convertScript(story.script, converted);
    if (c.layout == Layout::flat) {
      EXPECT_TRUE(converted.lua == story.flat) << context;
    } else {
      EXPECT_NE(converted.lua.find("(function() "), std::string::npos) << context;
    }
  }
}

TEST(LayoutTest, SurelyFlatOnlyWhenEveryLineCouldBeAnItem) {
  struct Case {
    std::string script;
    std::size_t declarations, limit;
    bool surely;
  };
  const std::vector<Case> cases = {
      {"", 0, 2, true},
      {"a\nb", 0, 2, true},
      {"a\nb\n", 0, 2, false},  // three lines, the last one empty
      {"a\nb", 1, 2, false},
      {"a", 2, 2, false},
      {"label a:\nlabel b:\nlabel c:", 0, 3, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(surelyFlat(linesUpTo(c.script, c.limit + 1), c.declarations, c.limit), c.surely)
        << c.script << " with " << c.declarations << " declarations, limit " << c.limit;
  }
}

TEST(LayoutTest, LinesCountedUpToTheMostAsOneByOne) {
  // Scripts long enough for the counts sixteen and 4080 bytes at a time,
  // with limits that stop the count inside each of them.
  for (const std::size_t every : {1, 3, 40, 5000}) {
    std::string script(20000, 'x');
    for (std::size_t k = 0; k < script.size(); k += every) script[k] = '\n';
    const std::size_t all = 1 + static_cast<std::size_t>(std::count(script.begin(), script.end(), '\n'));
    for (const std::size_t most : {std::size_t{1}, std::size_t{2}, std::size_t{17}, std::size_t{4100},
                                   all - 1, all, all + 1, std::size_t{100000}}) {
      EXPECT_EQ(linesUpTo(script, most), std::min(all, most)) << "a line feed every " << every << ", most " << most;
    }
  }
}

TEST(LayoutTest, GroupedTextSpelledOut) {
  // Limit 3: three declarations a group; a table joins the open group while
  // all its items fit; a table of three entries or more is filled in pieces
  // of two, in groups of its own.
  NameTable names;
  for (const char* name : {"a", "b", "c", "d"}) addVariable(names, name);
  const ScriptLine x{"x", 0, ChainFlag::plainStatement};
  const std::vector<LabelBlock> blocks = {
      {"s", {x}}, {"u", {}}, {"v", {x, x, x, x, x}}, {"w", {x}}, {"y", {x, x}}};
  std::string console;
  EXPECT_EQ(writeLuaOutput(blocks, names, console, 3),
            kHeader +
                "(function() a = 0;\nb = 0;\nc = 0; end)();\n"
                "(function() d = 0; end)();\n"
                "\n\n"
                "\n\n(function() LABELS[\"s\"] = {\n\tfunction() x; end\n};"
                "\n\nLABELS[\"u\"] = {\n}; end)();"
                "\n\n(function() LABELS[\"v\"] = {\n\tfunction() x; end,\n\tfunction() x; end"
                " }; end)(); (function() do local t, p = LABELS[\"v\"], {"
                "\n\tfunction() x; end,\n\tfunction() x; end"
                " }; local n = #t; for i = 1, #p do t[n + i] = p[i] end end end)();"
                " (function() do local t, p = LABELS[\"v\"], {"
                "\n\tfunction() x; end"
                "\n}; local n = #t; for i = 1, #p do t[n + i] = p[i] end end end)();"
                "\n\n(function() LABELS[\"w\"] = {\n\tfunction() x; end\n}; end)();"
                "\n\n(function() LABELS[\"y\"] = {\n\tfunction() x; end,\n\tfunction() x; end\n};"
                " end)();");
}

}  // namespace
}  // namespace brindle
