// Seeded generators of test.py scripts for the benchmarks: a realistic story
// script of a requested size, and the hostile shapes that stress one part of
// the conversion each. The same kind, size and seed always give the same
// bytes, on any platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::bench {

// Labels with dialogue (some of it UTF-8), `$` assignments and `+=`/`-=`
// updates over a few hundred variables, `call`, `jump_out`, `path_end` and
// if/elif/else chains nested one to three levels, indented with four blanks.
// Stops after the first label that brings the text to `bytes` or more.
std::string generateRealistic(std::size_t bytes, std::uint64_t seed);

// The realistic story made to play without end, for the play's benchmark:
// its `!=` tests written `~=` (the fix brindle-check gives), every
// `path_end` a jump to the next label, and every jump to a label it lacks
// one to a label it has.
std::string generatePlayable(std::size_t bytes, std::uint64_t seed);

// The same story, except that every `$` assignment and update names a
// variable no earlier line named (conditions test recent ones), so the
// number of distinct names grows with the size amid ordinary statements.
std::string generateMixed(std::size_t bytes, std::uint64_t seed);

// The hostile shapes, each about `bytes` long:
//   deep       line i is i tabs and an `if`, so every line opens a deeper chain
//   blanks     one line of blanks under a label
//   path_end   plain `path_end` lines, one entry each
//   variables  `$` assignments, every one to a new variable
//   empty      empty lines, then one statement
//   nul        lines of NUL bytes
//   invalid_utf8  dialogue lines of byte sequences that are not UTF-8
//   lone_cr    lines ended by carriage returns alone: one line to the reader
//   one_line   one huge statement with no line feed
std::string generateHostile(std::string_view kind, std::size_t bytes);

// The names generateHostile accepts, in the order the benchmark reports them.
const std::vector<std::string_view>& hostileKinds();

}  // namespace brindle::bench
