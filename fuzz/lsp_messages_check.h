// The properties the language server's message reader must have, whatever
// bytes arrive: no crash or hang; the same messages whether the bytes come
// at once or in reads of any size; and each message, framed again, read
// back as itself.
#pragma once

#include <string>
#include <string_view>

namespace brindle::fuzz {

// Returns an empty string when every property holds, otherwise what broke.
std::string checkLspMessages(std::string_view input);

}  // namespace brindle::fuzz
