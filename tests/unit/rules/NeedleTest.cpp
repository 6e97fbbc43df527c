// The rules' needle search against std::string_view::find, on random texts
// over a small alphabet so that needles are found, half-found and not found.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "rules/Needle.h"

namespace tavrik {
namespace {

std::string RandomText(std::mt19937& random, size_t size) {
  static constexpr char kAlphabet[] = {' ', ' ', 'a', 'b', '\n', '\0', '\xff'};
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 1);
  std::string text(size, ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  return text;
}

TEST(NeedleTest, FindsWhatFindFindsFromEveryStart) {
  std::mt19937 random(20261208);
  std::uniform_int_distribution<size_t> needleSize(0, 7);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = RandomText(random, round % 64);
    // Needles taken from the text are found; made up ones mostly not.
    std::string needle = RandomText(random, needleSize(random));
    if (round % 2 == 0 && !text.empty()) {
      const size_t at = round % text.size();
      needle = text.substr(at, needle.size());
    }
    const Needle searched(needle);
    for (size_t from = 0; from <= text.size() + 1; ++from) {
      ASSERT_EQ(searched.FindIn(text, from), std::string_view(text).find(needle, from))
          << "needle '" << needle << "' from " << from << " in '" << text << "'";
    }
  }
}

}  // namespace
}  // namespace tavrik
