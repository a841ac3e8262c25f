// The properties of the language server's document as an editor changes it,
// shared by its fuzzer and the replay tests: after each edit of a sequence,
// what the story kept piece by piece says is what a fresh reading of the
// whole new text says: its text, its check (findings, fixes and warnings),
// the editor's ranges of its diagnostics, its symbols, and the Lua brindle
// writes for it.
//
// An input is a text, then a byte 0xFF, then the edits, each four bytes and
// the text it puts in: the line of the edit's start and the character in it
// (each taken modulo what the text has, one past included), how many bytes
// it removes from there, and how many bytes of text follow.
#pragma once

#include <string>
#include <string_view>

namespace brindle::fuzz {

// Returns an empty string when every property holds, otherwise what broke.
std::string checkLspEdits(std::string_view input);

}  // namespace brindle::fuzz
