// The properties the language server's message reader must have, whatever
// bytes arrive: no crash or hang; the same messages and the same headers
// skipped whether the bytes come at once or in reads of any size; each
// message, framed again, read back as itself; those frames read when they
// follow a bad header and bytes that name no header; and the input (and its
// second half) read as JSON as the JSON library reads it.
#pragma once

#include <string>
#include <string_view>

namespace brindle::fuzz {

// Returns an empty string when every property holds, otherwise what broke.
std::string checkLspMessages(std::string_view input);

}  // namespace brindle::fuzz
