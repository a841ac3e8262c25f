// The escapes of Lua strings that only Lua 5.1 reads, marked so that the
// checker's Lua 5.1 refuses them as Lua 5.4 and LuaJIT do. A plain function;
// any thread may call it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::check {

// Makes Lua 5.1 refuse the escapes that Lua 5.4 and LuaJIT refuse but 5.1
// reads as the bare character ("\q"): `marked` receives `text` with each
// such backslash made the start of a decimal escape too large for any Lua
// ("\999q"), which the parser tells as such, and `marks` the offsets of
// those backslashes in it. Where a
// backslash stands in a comment or a long string the mark changes nothing
// of what loads, and outside any string every Lua refuses a backslash
// anyway. Returns false, leaving `marked` alone, when there is none.
bool markEscapesNewerLuasRefuse(std::string_view text, std::string& marked,
                                std::vector<std::size_t>& marks);

}  // namespace brindle::check
