// The properties every conversion must have, whatever bytes it is given,
// shared by the conversion fuzzer and the replay tests. The check reads the
// input a second time on its own to learn which label blocks and statements
// it holds, compares that with the records the library built, and then walks
// the Lua text from its first byte to its last, demanding each piece exactly
// where the records put it: the header; one declaration per variable; one
// `LABELS["name"] = {` table per label block, closed by "\n};"; one entry per
// plain statement or per chain, each ending with "; end"; and inside a chain
// its lines and exactly one closing `end` line for every chain, placed where
// the chain's rules end it. Statement texts may hold anything except a line
// feed, so nothing is looked for by searching the output. Every statement is
// also rewritten with every step run, and must come out as it does with the
// steps its scan rules out skipped.
#pragma once

#include <string>
#include <string_view>

#include "plain_forms.h"

namespace brindle::fuzz {

// Converts `input` twice and checks everything below. Returns an empty string
// when every property holds, otherwise a description of the first one that
// does not.
std::string checkConversion(std::string_view input);

// Every statement of `input` rewritten twice: with the steps its scan rules
// out skipped, and with every step run. They must agree.
std::string checkSkippedSteps(std::string_view input);

// The records half of the check: `script` as what reading `input` built.
std::string checkRecords(std::string_view input, const Script& script);

// The output half of the check: `lua` and `console` as the conversion of a
// script whose records are `script`.
std::string checkOutput(const Script& script, std::string_view lua, std::string_view console);

}  // namespace brindle::fuzz
