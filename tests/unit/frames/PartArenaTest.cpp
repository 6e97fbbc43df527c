#include "frames/PartArena.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frames/MultipartPart.h"

namespace tavrik {
namespace {

std::string Body(int n) {
  return "frame " + std::to_string(n) + std::string(static_cast<size_t>(n % 97), 'x');
}

TEST(PartArenaTest, PartsAreLaidOutLikeBuildPartAndSideBySide) {
  PartArena arena;
  const Payload first = arena.BuildPart(kPlainTextType, "one");
  const Payload second = arena.BuildPart(kEventType, "two");
  EXPECT_EQ(first.View(), BuildPart(kPlainTextType, "one").View());
  EXPECT_EQ(second.View(), BuildPart(kEventType, "two").View());
  Payload run = first;
  ASSERT_TRUE(run.TryJoin(second));
  EXPECT_EQ(run.View(), std::string(first.View()) + std::string(second.View()));
  EXPECT_EQ(first.size(), PartLength(kPlainTextType, "one")) << "copies keep their own length";
}

TEST(PartArenaTest, QueuedPartsAreNeverOverwritten) {
  PartArena arena;
  std::vector<Payload> held;
  std::vector<std::string> expected;
  // Enough to fill many blocks, with every third part released at once.
  for (int n = 0; n < 3000; ++n) {
    const Payload part = arena.BuildPart(kPlainTextType, Body(n));
    if (n % 3 != 0) {
      held.push_back(part);
      expected.emplace_back(part.View());
    }
  }
  for (size_t i = 0; i < held.size(); ++i) ASSERT_EQ(held[i].View(), expected[i]) << "part " << i;
}

TEST(PartArenaTest, ABlockIsReusedOnceNothingInItIsHeld) {
  PartArena arena;
  const char* start = nullptr;
  {
    const Payload part = arena.BuildPart(kPlainTextType, "first");
    start = part.data();
  }
  EXPECT_EQ(arena.BuildPart(kPlainTextType, "again").data(), start);
  const Payload held = arena.BuildPart(kPlainTextType, "held");
  const Payload next = arena.BuildPart(kPlainTextType, "next");
  EXPECT_EQ(next.data(), held.data() + held.size()) << "a held block is appended to, not rewound";
}

TEST(PartArenaTest, APartLargerThanABlockIsBuiltWhole) {
  PartArena arena;
  const Payload small = arena.BuildPart(kPlainTextType, "small");
  const std::string large(3 * PartArena::kBlockSize, 'L');
  const Payload big = arena.BuildPart(kPlainTextType, large);
  EXPECT_EQ(big.View(), BuildPart(kPlainTextType, large).View());
  EXPECT_EQ(small.View(), BuildPart(kPlainTextType, "small").View());
  Payload run = small;
  EXPECT_FALSE(run.TryJoin(big)) << "parts in different blocks never join";
  EXPECT_EQ(run.size(), small.size());
}

TEST(PayloadTest, OnlyAdjacentRunsOfTheSameBlockJoin) {
  const auto block = std::make_shared<const std::string>("abcdef");
  const std::string_view bytes(*block);
  Payload front(block, bytes.substr(0, 3));
  Payload back(block, bytes.substr(3));
  EXPECT_FALSE(back.TryJoin(front)) << "in order only";
  ASSERT_TRUE(front.TryJoin(back));
  EXPECT_EQ(front.View(), "abcdef");

  const Payload text = MakePayload("abcdef");
  const Payload other = MakePayload("ghi");
  Payload head(text);
  EXPECT_FALSE(head.TryJoin(other));
  EXPECT_FALSE(head.TryJoin(text)) << "the same run twice is not adjacent to itself";
  EXPECT_FALSE(Payload().TryJoin(Payload()));
  EXPECT_FALSE(Payload() ? true : false);
  EXPECT_TRUE(text ? true : false);
}

}  // namespace
}  // namespace tavrik
