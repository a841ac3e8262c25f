// Sixteen bytes compared at once: GCC's vector types, which become vector
// instructions where the processor has them and plain loops where it has
// none. A comparison's lanes are bytes of all ones (a hit) or zeros; a mask
// keeps one bit per lane. Vectors are passed by reference and filled through
// references, never returned: where vectors have no registers (32-bit x86
// without SSE), returning one changes the calling convention. Plain
// functions; any thread may use them.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

inline constexpr std::size_t kVectorBytes = 16;

using ByteVector = unsigned char __attribute__((vector_size(kVectorBytes)));
using LaneVector = signed char __attribute__((vector_size(kVectorBytes)));  // what comparing gives

inline void loadBytes(ByteVector& bytes, const char* p) { std::memcpy(&bytes, p, sizeof bytes); }

// One bit per lane, lane k in bit k: set where the lane is a hit. The plain
// form, lane by lane, for processors without SSE2.
inline unsigned hitMaskLaneByLane(const LaneVector& lanes) {
  unsigned char bytes[kVectorBytes];
  std::memcpy(bytes, &lanes, sizeof bytes);
  unsigned mask = 0;
  for (std::size_t k = 0; k < kVectorBytes; ++k) mask |= static_cast<unsigned>(bytes[k] >> 7) << k;
  return mask;
}

inline unsigned hitMask(const LaneVector& lanes) {
#if defined(__SSE2__)
  __m128i bytes;
  std::memcpy(&bytes, &lanes, sizeof bytes);
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
#else
  return hitMaskLaneByLane(lanes);
#endif
}

}  // namespace brindle
