// Assembles one if/elif/else chain, with every chain nested in it, into the
// body of a single Lua function entry.
#pragma once

#include <cstddef>
#include <string>

#include "convert/records.h"

namespace brindle {

// `position` designates an entry of `block` that opens a chain. Appends to
// `out` a line feed, the opening line, an empty line, then every entry the
// chain takes (deeper entries, and continuations at the chain's own indent),
// one per line, and one closing line of tabs and `end` for each chain.
// Leaves `position` on the first entry not taken (or at the end).
// Nesting is tracked on an explicit stack, so any depth is safe, and nested
// text goes straight into `out` rather than being copied up level by level.
void buildConditionalBlock(const LabelBlock& block, std::size_t& position,
                           std::string& out);

}  // namespace brindle
