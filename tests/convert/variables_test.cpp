// The variables of a script: recorded once each in first-seen order.
#include "variables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plain_forms.h"

namespace brindle {
namespace {

std::vector<std::string> namesOf(const NameTable& variableNames) {
  std::vector<std::string> names;
  for (std::size_t k = 0; k < nameCount(variableNames); ++k) {
    names.emplace_back(nameAt(variableNames, k));
  }
  return names;
}

TEST(VariableNamesTest, RecordsEachNameOnceInFirstSeenOrder) {
  const Script script = readScript(
      "label start:\n$ money += 10\n$ seen = True\n$ money -= 2\n$x = 1\n$\n$  y = 2\n$ Seen = 1\n");
  EXPECT_EQ(namesOf(script.variableNames), (std::vector<std::string>{"money", "seen", "Seen"}));

  // Many names, so that the table grows several times, and each again.
  NameTable many;
  std::vector<std::string> expected;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 5000; ++i) {
      const std::string name = std::string("v").append(std::to_string(i * 7919 % 5000));
      addVariable(many, name);
      if (round == 0) expected.push_back(name);
    }
  }
  addVariable(many, "");
  EXPECT_EQ(namesOf(many), expected);

  // Names of every length from none to well past sixteen bytes, each one
  // byte apart from another of its length at every place: each is found
  // again as itself, whichever way its length has it read (the sanitizers
  // see any read past its ends).
  NameTable near;
  std::vector<std::string> all;
  for (std::size_t size = 0; size <= 40; ++size) {
    all.emplace_back(size, 'a');
    for (std::size_t at = 0; at < size; ++at) all.push_back(std::string(size, 'a').replace(at, 1, 1, 'b'));
  }
  for (int round = 0; round < 2; ++round) {
    for (std::size_t k = 0; k < all.size(); ++k) EXPECT_EQ(addName(near, all[k]), k) << all[k];
  }
  EXPECT_EQ(namesOf(near), all);
}

}  // namespace
}  // namespace brindle
