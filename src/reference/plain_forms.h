// The plain forms the tests and fuzzers check the conversion against, kept
// apart from what ships: nothing that brindle or brindle-check is built
// from links them. Each is the simple, whole-at-once account of something
// the conversion does faster or in a stream: reading a script into records,
// writing the Lua text of records, assembling one chain from a whole block,
// converting the bytes of a file in one call, cutting a text into pieces,
// repeating a text. Plain functions; any thread may call them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "parts.h"
#include "names.h"
#include "records.h"

namespace brindle {

// What reading a script builds.
struct Script {
  std::vector<LabelBlock> labelBlocks;  // one per `label` statement, in order
  NameTable variableNames;
  std::vector<Warning> warnings;
  std::string error;  // why the file holds no script (see ScriptText); nothing else is set then
};

// Reads `file` (the bytes of a file, as scriptText takes them) into records:
// every block with every statement, each rewritten. Statements before the
// first label are rewritten (their variables count) but stored nowhere; one
// warning says so. The warnings are those of a conversion.
Script readScript(std::string_view file);

// The whole text for the given records at once; `mostItems` (at least 2) is
// that of layout.h. Throws std::bad_alloc when memory runs out; `console`
// then keeps what was appended before.
std::string writeLuaOutput(const std::vector<LabelBlock>& labelBlocks, const NameTable& variableNames,
                           std::string& console, std::size_t mostItems = kMostItemsPerFunction);

// One chain over a whole block: `position` designates an entry of `block`
// that opens a chain; the chain's text is appended to `out`, and `position`
// is left on the first entry not taken (or at the end).
void buildConditionalBlock(const LabelBlock& block, std::size_t& position, std::string& out);

// Converts the bytes of a file: scriptText, then convertInParts in at most
// `parts` parts. A file that holds no script (malformed UTF-16) gives no
// text at all: `*error` (when asked for) says why, and false is returned, as
// it is when the sink refused a piece. `restart` as convertInParts takes it.
bool convertScript(std::string_view file, Conversion& result, const LuaSink& sink = {},
                   const ConvertOptions& options = {}, std::size_t parts = 0,
                   std::string* error = nullptr, const LuaRestart& restart = {});

// Every piece that cutting `text` at `separator` gives, with every
// whitespace byte taken out: one more than it has separators, empty ones
// kept. The previous content of `pieces` is discarded. Returns the number of
// pieces.
std::size_t splitOn(std::string_view text, std::vector<std::string>& pieces, char separator);

// `text` repeated `count` times; empty when `count` is zero or less.
std::string repeatString(std::string_view text, long long count);

}  // namespace brindle
