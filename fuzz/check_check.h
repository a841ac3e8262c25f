// The properties brindle-check must have, whatever bytes it is given,
// shared by the checker's fuzzer and the replay tests: no crash or hang;
// findings sorted by line, each on a line of the script; the same findings
// whatever the batches and segments; and each reported line really refused, alone or in
// the chain it belongs to, when that is checked as a script of its own.
#pragma once

#include <string>
#include <string_view>

namespace brindle::fuzz {

// Checks `input` and everything above. Returns an empty string when every
// property holds, otherwise a description of the first one that does not.
std::string checkChecker(std::string_view input);

}  // namespace brindle::fuzz
