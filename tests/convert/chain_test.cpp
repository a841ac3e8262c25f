#include "chain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plain_forms.h"

namespace brindle {
namespace {

constexpr ChainFlag kOpens = ChainFlag::opensChain;
constexpr ChainFlag kContinues = ChainFlag::continuesChain;
constexpr ChainFlag kPlain = ChainFlag::plainStatement;

struct ChainCase {
  const char* name;
  std::vector<ScriptLine> entries;
  std::size_t start;
  std::string expected;
  std::size_t stopsAt;
};

TEST(BuildConditionalBlockTest, TakesTheChainAndClosesEachLevelOnce) {
  const std::vector<ChainCase> cases = {
      {"nested chain inside an elseif/else chain",
       {{"\tif a then", 1, kOpens},
        {"\t\tx = 1", 2, kPlain},
        {"\t\tif b then", 2, kOpens},
        {"\t\t\tx = 2", 3, kPlain},
        {"\t\ty = 1", 2, kPlain},
        {"\telseif c then", 1, kContinues},
        {"\t\tx = 3", 2, kPlain},
        {"\telse", 1, kContinues},
        {"\tz = 1", 1, kPlain}},
       0,
       "\n\tif a then\n\n\t\tx = 1\n\t\tif b then\n\n\t\t\tx = 2\n\t\tend\n\t\ty = 1"
       "\n\telseif c then\n\t\tx = 3\n\telse\n\tend",
       8},
      {"opening entry is the block's last",
       {{"\tif a then", 1, kOpens}}, 0, "\n\tif a then\n\n\tend", 1},
      {"else is the block's last",
       {{"\tif a then", 1, kOpens}, {"\telse", 1, kContinues}}, 0, "\n\tif a then\n\n\telse\n\tend", 2},
      {"an if at the base indent starts a chain of its own",
       {{"\tif a then", 1, kOpens}, {"\t\tx", 2, kPlain}, {"\tif b then", 1, kOpens}}, 0,
       "\n\tif a then\n\n\t\tx\n\tend", 2},
      {"an else shallower than base is left to the caller",
       {{"\tif a then", 1, kOpens}, {"\t\tif b then", 2, kOpens}, {"\t\t\tx", 3, kPlain}, {"else", 0, kContinues}}, 1,
       "\n\t\tif b then\n\n\t\t\tx\n\t\tend", 3},
      {"enclosing else right after a nested chain's body",
       {{"\tif a then", 1, kOpens},
        {"\t\tif b then", 2, kOpens},
        {"\t\t\tx = 1", 3, kPlain},
        {"\telse", 1, kContinues},
        {"\t\tx = 2", 2, kPlain}},
       0, "\n\tif a then\n\n\t\tif b then\n\n\t\t\tx = 1\n\t\tend\n\telse\n\t\tx = 2\n\tend", 5},
      {"a plain statement at base ends the chain",
       {{"\tif a then", 1, kOpens}, {"\tx", 1, kPlain}}, 0, "\n\tif a then\n\n\tend", 1},
      {"base 0 closes with a bare end",
       {{"if a then", 0, kOpens}, {"\tx", 1, kPlain}}, 0, "\nif a then\n\n\tx\nend", 2},
      {"nested chain running to the end closes both",
       {{"if a then", 0, kOpens}, {"\tif b then", 1, kOpens}, {"\t\tx", 2, kPlain}}, 0,
       "\nif a then\n\n\tif b then\n\n\t\tx\n\tend\nend", 3},
      {"deeper continuation that no nested chain took is body",
       {{"if a then", 0, kOpens}, {"\telse", 1, kContinues}, {"\tx", 1, kPlain}}, 0, "\nif a then\n\n\telse\n\tx\nend", 3},
      {"continuation whose indent counts tabs inside the text",
       {{"if a then", 0, kOpens}, {"else \"\t\"", 1, kContinues}}, 0, "\nif a then\n\nelse \"\t\"\nend", 2},
  };
  for (const ChainCase& c : cases) {
    const LabelBlock block{"start", c.entries};
    std::size_t position = c.start;
    std::string out = "kept";
    buildConditionalBlock(block, position, out);
    EXPECT_EQ(out, "kept" + c.expected) << c.name;
    EXPECT_EQ(position, c.stopsAt) << c.name;
  }
}

TEST(BuildConditionalBlockTest, DeepNestingClosesEveryLevelInnermostFirst) {
  constexpr std::size_t kDepth = 3000;
  LabelBlock block;
  for (std::size_t i = 0; i < kDepth; ++i) {
    block.lines.push_back({"if x then", i, kOpens});
  }
  std::size_t position = 0;
  std::string out;
  buildConditionalBlock(block, position, out);
  EXPECT_EQ(position, kDepth);
  // The innermost chain closes first, the outermost last.
  const std::string innermost = "\n" + std::string(kDepth - 1, '\t') + "end\n";
  EXPECT_NE(out.find(innermost), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 9), "\n\tend\nend");
  std::size_t closings = 0;
  for (std::size_t at = out.find("end"); at != std::string::npos; at = out.find("end", at + 1)) {
    ++closings;
  }
  EXPECT_EQ(closings, kDepth);
}

}  // namespace
}  // namespace brindle
