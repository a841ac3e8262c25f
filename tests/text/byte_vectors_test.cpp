// The mask of a comparison's hits, with SSE2 and lane by lane alike.
#include "byte_vectors.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

TEST(HitMaskTest, SetsTheBitOfEveryHitLane) {
  for (unsigned pattern : {0u, 1u, 0x8000u, 0xFFFFu, 0x5A5Au, 0x0F0Fu, 0x1234u}) {
    ByteVector bytes = {};
    for (std::size_t k = 0; k < kVectorBytes; ++k) bytes[k] = (pattern >> k) & 1 ? 'x' : 'y';
    const LaneVector hits = bytes == static_cast<unsigned char>('x');
    EXPECT_EQ(hitMask(hits), pattern);
    EXPECT_EQ(hitMaskLaneByLane(hits), pattern);
  }
}

}  // namespace
}  // namespace brindle
