// The idle disconnect's rule: activity on either axis, minutes against idle seconds,
// saturation, and which addresses are sent back.
#include "IdleCheck.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

namespace murmella::console {
namespace {

constexpr std::int32_t kTick = 60000;

// Runs ticks with the cursor at the given positions; returns the ticks at which the page was
// due to go back.
std::vector<int> DueTicks(TIdleCounters& c, const std::vector<std::pair<int, int>>& cursor, int minutes, bool on) {
  std::vector<int> due;
  for (std::size_t i = 0; i < cursor.size(); ++i) {
    c.AddInterval(kTick);
    c.SeeCursor(cursor[i].first, cursor[i].second);
    if (c.Due(minutes, on)) due.push_back(static_cast<int>(i));
  }
  return due;
}

TEST(IdleCheck, ActivityOnEitherAxisAndMinutesThreshold) {
  struct Case {
    const char* What;
    std::vector<std::pair<int, int>> Cursor;
    int Minutes;
    bool On;
    std::vector<int> Due;
  } cases[] = {
      {"moved at tick 0, still for 5 minutes", {{5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}}, 5, true, {5}},
      {"horizontal moves are activity", {{5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}, {10, 5}, {11, 5}}, 5, true, {}},
      {"vertical moves are activity", {{5, 5}, {5, 6}, {5, 7}, {5, 8}, {5, 9}, {5, 10}, {5, 11}}, 5, true, {}},
      {"cursor at the origin from the start is no activity", {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}, 5, true, {4}},
      {"a cursor on the left edge still moves vertically", {{0, 7}, {0, 7}, {0, 7}}, 5, true, {}},
      {"option off: never", {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}, 5, false, {}},
      {"240 minutes", std::vector<std::pair<int, int>>(241, {0, 0}), 240, true, {239}},
      {"due again after the reset", std::vector<std::pair<int, int>>(10, {0, 0}), 5, true, {4, 9}},
  };
  for (const Case& c : cases) {
    TIdleCounters counters;
    EXPECT_EQ(DueTicks(counters, c.Cursor, c.Minutes, c.On), c.Due) << c.What;
  }
}

TEST(IdleCheck, TickingTheOptionOnLaterIsDueAtOnceAndTheCountSaturates) {
  TIdleCounters c;
  EXPECT_TRUE(DueTicks(c, std::vector<std::pair<int, int>>(6, {0, 0}), 5, false).empty());
  EXPECT_EQ(DueTicks(c, {{0, 0}}, 5, true), std::vector<int>{0});

  TIdleCounters forever;
  for (int i = 0; i < 40000; ++i) forever.AddInterval(kTick);  // about 27.8 days
  forever.SeeCursor(0, 0);
  EXPECT_EQ(forever.AccumulatedMs, INT_MAX);
  EXPECT_EQ(forever.IdleSeconds, INT_MAX / 1000);
  EXPECT_TRUE(forever.Due(240, true));
}

TEST(IdleCheck, OnlyALiveAddressWithoutDisconnectGoesBack) {
  EXPECT_TRUE(ShouldReturnToStart("http://127.0.0.1:8480/pop.php"));
  EXPECT_TRUE(ShouldReturnToStart("http://127.0.0.1:8480/Disconnect.php")) << "the search is case-sensitive";
  EXPECT_FALSE(ShouldReturnToStart("http://127.0.0.1:8480/disconnect.php"));
  EXPECT_FALSE(ShouldReturnToStart(""));
}

}  // namespace
}  // namespace murmella::console
