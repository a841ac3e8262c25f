// The story's map of small scripts, as brindle-check --map prints it.
#include "story_map.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace brindle {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr const char* kHead = "digraph story {\n  node [shape=box];\n";

TEST(StoryMapTest, DotOfEachShape) {
  struct Case {
    const char* name;
    std::string script;
    std::string body;  // between the head and the closing brace
  };
  const std::vector<Case> cases = {
      {"the tour", readFile(BRINDLE_SOURCE_DIR "/examples/tour/test.py"),
       "  \"start\" [label=\"start\\nline 1, 7 entries\", peripheries=2];\n"
       "  \"morning\" [label=\"morning\\nline 10, 5 entries\"];\n"
       "  \"market\" [label=\"market\\nline 23, 6 entries\"];\n"
       "  \"lighthouse\" [label=\"lighthouse\\nline 51, 5 entries\"];\n"
       "  \"start\" -> \"morning\";\n"
       "  \"morning\" -> \"market\";\n"
       "  \"market\" -> \"lighthouse\";\n"
       "  \"market\" -> \"morning\";\n"},
      {"no label", "jump_out a\n", ""},
      // A jump before the first label belongs to no table: it reaches nothing.
      {"unreached, undefined, and counted jumps",
       "jump_out lost\nlabel start:\n    jump_out far\n    jump_out start\n    jump_out far\n"
       "label lost:\n    e \"x\"\n",
       "  \"start\" [label=\"start\\nline 2, 3 entries\", peripheries=2];\n"
       "  \"lost\" [label=\"lost\\nline 6, 1 entry\", style=dashed, color=gray50, fontcolor=gray50];\n"
       "  \"far\" [label=\"far\\nnot defined\", shape=octagon, style=dashed, color=red, fontcolor=red];\n"
       "  \"start\" -> \"far\" [label=\"2 jumps\"];\n"
       "  \"start\" -> \"start\";\n"},
      // A chain, with all it nests, is one entry; a jump in it is the label's.
      {"chains",
       "label a:\n    if x:\n        if y:\n            e \"1\"\n        else:\n            jump_out b\n"
       "    elif z:\n        e \"2\"\n    e \"3\"\n    if w:\n        e \"4\"\n    else:\n        e \"5\"\n"
       "label b:\n",
       "  \"a\" [label=\"a\\nline 1, 3 entries\", peripheries=2];\n"
       "  \"b\" [label=\"b\\nline 14, 0 entries\"];\n"
       "  \"a\" -> \"b\";\n"},
      // Defined again: one node, at the later line, with the later table's
      // entries and the jumps of both.
      {"a label defined twice",
       "label a:\n    jump_out b\nlabel b:\n    e \"1\"\n    jump_out a\nlabel c:\n    jump_out c\n"
       "label b:\n    jump_out c\n",
       "  \"a\" [label=\"a\\nline 1, 1 entry\", peripheries=2];\n"
       "  \"c\" [label=\"c\\nline 6, 1 entry\"];\n"
       "  \"b\" [label=\"b\\nline 8, 1 entry\"];\n"
       "  \"a\" -> \"b\";\n"
       "  \"b\" -> \"a\";\n"
       "  \"c\" -> \"c\";\n"
       "  \"b\" -> \"c\";\n"},
      // Quotes and backslashes escaped; a byte of no UTF-8 character or a
      // control byte shown as U+FFFD, and spelled in the id, where two such
      // names stay two.
      {"hostile names",
       "label \"q\\:\n    jump_out x\xFF\n    jump_out x\xFE\n    jump_out t\x01\nlabel \xC3\xA9:\n",
       "  \"\\\"q\\\\\" [label=\"\\\"q\\\\\\nline 1, 3 entries\", peripheries=2];\n"
       "  \"\xC3\xA9\" [label=\"\xC3\xA9\\nline 5, 0 entries\", style=dashed, color=gray50, fontcolor=gray50];\n"
       "  \"x\\xFF\" [label=\"x\xEF\xBF\xBD\\nnot defined\", shape=octagon, style=dashed, color=red, fontcolor=red];\n"
       "  \"x\\xFE\" [label=\"x\xEF\xBF\xBD\\nnot defined\", shape=octagon, style=dashed, color=red, fontcolor=red];\n"
       "  \"t\\x01\" [label=\"t\xEF\xBF\xBD\\nnot defined\", shape=octagon, style=dashed, color=red, fontcolor=red];\n"
       "  \"\\\"q\\\\\" -> \"x\\xFF\";\n"
       "  \"\\\"q\\\\\" -> \"x\\xFE\";\n"
       "  \"\\\"q\\\\\" -> \"t\\x01\";\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mapDot(storyMapOf(c.script)), kHead + c.body + "}\n") << c.name;
  }
}

}  // namespace
}  // namespace brindle
