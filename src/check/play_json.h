// A play (play.h) as one JSON document, the same for brindle-check
// --play --json and the language server's brindle.play: its steps, its end
// and the variables at the end. Numbers that are whole are written as
// integers; text that is not UTF-8 has its bad bytes replaced.
#pragma once

#include <string>

#include "play.h"

namespace brindle::check {

// With `indent` below 0, on one line.
std::string playJson(const PlayReport& report, int indent = -1);

}  // namespace brindle::check
