// Sixteen bytes compared at once: GCC's vector types, which become vector
// instructions where the processor has them and plain loops where it has
// none. Lanes are bytes of all ones (a hit) or zeros, kept as two 64-bit
// halves so that they never cross a function boundary as vectors (where
// vectors have no registers, as on 32-bit x86 without SSE, that changes
// the calling convention). Plain functions; any thread may use them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

inline constexpr std::size_t kVectorBytes = 16;

using ByteVector = unsigned char __attribute__((vector_size(kVectorBytes)));
using LaneVector = signed char __attribute__((vector_size(kVectorBytes)));  // what comparing gives

inline void loadBytes(ByteVector& bytes, const char* p) { std::memcpy(&bytes, p, sizeof bytes); }

struct LaneHalves {
  std::uint64_t half[2];
};

inline LaneHalves halvesOf(const LaneVector& lanes) {
  LaneHalves halves;
  static_assert(sizeof halves == sizeof lanes);
  std::memcpy(&halves, &lanes, sizeof halves);
  return halves;
}

// One bit per lane, lane k in bit k: set where the lane is a hit.
inline unsigned hitMask(const LaneVector& lanes) {
#if defined(__SSE2__)
  __m128i bytes;
  std::memcpy(&bytes, &lanes, sizeof bytes);
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
#else
  const LaneHalves halves = halvesOf(lanes);
  unsigned mask = 0;
  for (std::size_t k = 0; k < kVectorBytes; ++k) {
    unsigned char byte;
    std::memcpy(&byte, reinterpret_cast<const unsigned char*>(&halves) + k, 1);
    mask |= (byte >> 7) << k;
  }
  return mask;
#endif
}

// The byte value of lane `k`.
inline unsigned laneAt(const LaneHalves& halves, std::size_t k) {
  unsigned char bytes[kVectorBytes];
  std::memcpy(bytes, &halves, sizeof bytes);
  return bytes[k];
}

// The first lane at or after `from` that is not zero, or kVectorBytes.
inline std::size_t nextLane(const LaneHalves& halves, std::size_t from) {
  if constexpr (std::endian::native == std::endian::little) {
    // Lane k is byte k % 8 of half k / 8, counting from the low end.
    for (std::size_t h = from / 8; h < 2; ++h) {
      std::uint64_t bits = halves.half[h];
      if (h == from / 8) bits &= ~std::uint64_t{0} << (8 * (from % 8));
      if (bits != 0) return 8 * h + static_cast<std::size_t>(std::countr_zero(bits)) / 8;
    }
    return kVectorBytes;
  } else {
    std::size_t k = from;
    while (k < kVectorBytes && laneAt(halves, k) == 0) ++k;
    return k;
  }
}

}  // namespace brindle
