// Converts test.py in the working directory into output.lua as brindle does,
// but with at most LIMIT items in one Lua function, so that even a small
// story comes out grouped: for the tests that play a story in both layouts.
//
//   brindle_convert_at_limit LIMIT
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "plain_forms.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: brindle_convert_at_limit LIMIT\n", stderr);
    return 2;
  }
  std::ifstream in("test.py", std::ios::binary);
  const std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in) {
    std::fputs("cannot read test.py\n", stderr);
    return 1;
  }
  brindle::ConvertOptions options;
  options.mostItemsPerFunction = std::stoul(argv[1]);
  brindle::Conversion result;
  brindle::convertScript(input, result, {}, options);
  std::ofstream out("output.lua", std::ios::binary);
  out << result.lua;
  return out ? 0 : 1;
}
