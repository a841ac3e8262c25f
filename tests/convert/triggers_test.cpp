// The list of trigger texts is the one place they are written: the fuzzer's
// dictionary must hold every one of them, and the seam table must say what
// a search of the list says.
#include "triggers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace brindle {
namespace {

// The values of a libFuzzer dictionary: name="value" lines, with hexadecimal
// escapes and escaped backslashes and quotes.
std::set<std::string> dictionaryValues(const std::string& path) {
  std::set<std::string> values;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    const std::size_t open = line.find('"');
    if (line.empty() || line[0] == '#' || open == std::string::npos) continue;
    std::string value;
    for (std::size_t i = open + 1; i + 1 < line.size(); ++i) {
      if (line[i] != '\\') {
        value.push_back(line[i]);
      } else if (line[i + 1] == 'x') {
        value.push_back(static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16)));
        i += 3;
      } else {
        value.push_back(line[++i]);
      }
    }
    values.insert(value);
  }
  return values;
}

TEST(TriggersTest, TheFuzzDictionaryHoldsEveryTrigger) {
  const std::set<std::string> values = dictionaryValues(BRINDLE_SOURCE_DIR "/fuzz/brindle.dict");
  ASSERT_FALSE(values.empty());
  for (const std::string_view trigger : kTriggers) {
    EXPECT_TRUE(values.count(std::string(trigger))) << "fuzz/brindle.dict lacks \"" << trigger << '"';
  }
}

TEST(TriggersTest, SeamsFormWhatTheScannedTextsHold) {
  for (int before = 0; before < 256; ++before) {
    for (int after = 0; after < 256; ++after) {
      const std::string pair{static_cast<char>(before), static_cast<char>(after)};
      TriggerSet expected = 0;
      for (const ScannedText& scanned : kScannedTexts) {
        if (scanned.text.find(pair) != std::string_view::npos) expected |= scanned.sets;
      }
      ASSERT_EQ(formedByJoining(pair[0], pair[1]), expected) << before << " " << after;
    }
  }
}

}  // namespace
}  // namespace brindle
