// The 16-bit range of the progress bars against counts that do not fit it.
#include "engine/job/progress_scale.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ProgressScale, CountsThatFitAreShownAsTheyAreLargerOnesInProportion) {
  struct Case {
    int64_t count;
    int64_t done;
    uint16_t upper;
    int position;
  };
  const Case cases[] = {
      {0, 0, 0, 0},  // an empty list: range 0 is legal
      {3, 2, 3, 2},
      {65535, 65535, 65535, 65535},  // the largest range that fits
      {65535, 1, 65535, 1},
      {65536, 0, 65535, 0},          // a cast would have made the range 0
      {65536, 65536, 65535, 65535},  // full exactly at the end
      {65536, 32768, 65535, 32767},
      {70000, 70000, 65535, 65535},  // a cast would have made the range 4,464
      {70000, 35000, 65535, 32767},
      {int64_t{1} << 40, int64_t{1} << 39, 65535, 32767},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.done << " of " << c.count);
    EXPECT_EQ(BarUpper(c.count), c.upper);
    EXPECT_EQ(BarPosition(c.done, c.count), c.position);
    EXPECT_LE(BarPosition(c.done, c.count), BarUpper(c.count));
  }
}

TEST(ProgressScale, PositionsOfALargeCountNeverGoBackAndEndFull) {
  const int64_t count = 200003;
  int last = 0;
  for (int64_t done = 0; done <= count; ++done) {
    const int position = BarPosition(done, count);
    ASSERT_GE(position, last) << done;
    last = position;
  }
  EXPECT_EQ(last, 65535);
}

}  // namespace
}  // namespace velmora
