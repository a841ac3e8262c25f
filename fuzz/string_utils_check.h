// The documented properties of the string utilities, checked against the
// plain loops of reference.h, for the string fuzzer and the replay tests.
#pragma once

#include <string>
#include <string_view>

namespace brindle::fuzz {

// Decodes `data` into the arguments of one round of calls: byte 0 gives the
// length of the search text (0 to 4), byte 1 the length of the replacement
// (0 to 6), byte 2 the separator, byte 3 a repeat count (-2 to 5); the search
// text and the replacement follow, and the rest is the text. Missing bytes
// count as zero. Returns an empty string when replaceAll, eraseFirst, splitOn
// and repeatString all behave as documented, otherwise what went wrong.
std::string checkStringUtils(std::string_view data);

}  // namespace brindle::fuzz
