// The intro packer's model: a bitwise context mixer that predicts each bit of the program from
// hashed contexts of the bytes before it, and the arithmetic coder that turns the predictions
// into bits. The build-time squeezer and the intro's start-up stub include this one file, so
// they predict exactly alike. Integer arithmetic only and nothing from a library: the stub runs
// before any library is loaded. Written for a small stub: one pass, no division by variables
// other than the counter's, tables built by short loops.
//
// Usage (both sides):
//   static pack::State state;          // zeroed: in .bss
//   pack::start(state);
//   per bit: p = pack::predict(state); ...code or decode the bit with p...; pack::learn(state,
//   bit); pack::calls_to_absolute / calls_to_relative: the x86 filter before packing / after
//   unpacking
#pragma once

#include <stdint.h>

namespace pack {

// Which of the eight bytes before make each context (bit j: the byte j + 1 places back):
// orders 0 to 2 and sparse ones that suit x86 code and tables, found by a greedy search on the
// intro (each mask in turn replaced by the one that packs it best).
constexpr uint8_t context_masks[] = {0x00, 0x01, 0x03, 0x71, 0x18, 0x6a,
                                     0x02, 0x2d, 0x04, 0x05, 0x09, 0x06};
constexpr int model_count = sizeof(context_masks);
constexpr int slot_bits = 20;  // slots per model: far more than the contexts of one program
constexpr uint32_t slot_mask = (1u << slot_bits) - 1;
constexpr int count_limit = 3;   // small programs change fast: keep adapting quickly
constexpr int error_scale = 10;  // with learning_shift, the mixer's learning rate
constexpr int learning_shift = 15;
constexpr int stretch_range = 2047;  // predictions are mixed in the logistic domain, +-8.0
constexpr uint32_t partial_multiplier = 0x2F0B4C93u;  // spreads the partial byte over the slots
constexpr uint64_t context_multiplier = 0x9E3779B97F4A7C15ull;
constexpr uint32_t largest_program = 1u << 22;  // what the stub has room for
constexpr uint32_t unseen = 1u << 31;  // a slot holds p (22 bits) and a count (10), xor'd by this,
                                       // so that a zeroed slot reads as even odds, never seen

struct State {
  uint32_t slots[model_count][1u << slot_bits];
  int16_t squash[2 * stretch_range + 2];  // logistic domain + 2048 -> 12-bit probability
  int16_t stretch[4096];                  // its inverse
  int32_t weights[8][model_count];        // one set per bit position, from 0: even odds
  int32_t inputs[model_count];
  uint32_t* slot[model_count];
  uint32_t context_hash[model_count];
  int32_t mixed;
  uint64_t history;  // the last eight bytes, the latest lowest
  uint32_t partial;  // the bits of the current byte so far, after a leading 1
  int bit_position;
};

inline void hash_contexts(State& s) {
  for (int m = 0; m < model_count; ++m) {
    uint64_t masked = 0;
    for (int j = 0; j < 8; ++j)
      if (context_masks[m] >> j & 1) masked |= s.history & (uint64_t{0xff} << (8 * j));
    s.context_hash[m] = static_cast<uint32_t>(((masked + m) * context_multiplier) >> 32);
  }
}

// The logistic curve grown from its middle by its own equation, p' = p (1 - p) / 256, in 28-bit
// fixed point: no exp needed, and every build of it gives the same table.
inline void start(State& s) {
  int32_t p = 1 << 27;
  for (int x = 0; x <= stretch_range; ++x) {
    const int16_t q = static_cast<int16_t>(p >> 16);
    s.squash[stretch_range + 1 + x] = q;
    s.squash[stretch_range + 1 - x] = static_cast<int16_t>(4096 - q);
    p += ((p >> 14) * (((1 << 28) - p) >> 14)) >> 8;
  }
  int i = 1;  // the squash index of the largest logistic value not above q
  for (int q = 0; q < 4096; ++q) {
    while (i < 2 * stretch_range + 1 && s.squash[i + 1] <= q) ++i;
    s.stretch[q] = static_cast<int16_t>(i - stretch_range - 1);
  }
  hash_contexts(s);
  s.partial = 1;
}

// The probability, in 12 bits, that the next bit is 1.
inline int predict(State& s) {
  int64_t dot = 0;
  for (int m = 0; m < model_count; ++m) {
    uint32_t* slot = &s.slots[m][(s.context_hash[m] + s.partial * partial_multiplier) & slot_mask];
    s.slot[m] = slot;
    s.inputs[m] = s.stretch[(*slot ^ unseen) >> 20];
    dot += int64_t{s.inputs[m]} * s.weights[s.bit_position][m];
  }
  int32_t mixed = static_cast<int32_t>(dot >> 16);
  if (mixed < -stretch_range) mixed = -stretch_range;
  if (mixed > stretch_range) mixed = stretch_range;
  s.mixed = s.squash[mixed + stretch_range + 1];
  return s.mixed;
}

inline void learn(State& s, int bit) {
  const int32_t error = ((bit << 12) - s.mixed) * error_scale;
  for (int m = 0; m < model_count; ++m) {
    s.weights[s.bit_position][m] += (s.inputs[m] * error) >> learning_shift;
    const uint32_t slot = *s.slot[m] ^ unseen;
    const int32_t count = slot & 1023;
    int32_t p = static_cast<int32_t>(slot >> 10);
    p += ((bit << 22) - p) * 2 / (2 * count + 3);
    *s.slot[m] = (static_cast<uint32_t>(p) << 10 | (count + (count < count_limit))) ^ unseen;
  }
  s.partial = s.partial * 2 + bit;
  if (++s.bit_position == 8) {
    s.history = s.history << 8 | (s.partial & 0xff);
    s.partial = 1;
    s.bit_position = 0;
    hash_contexts(s);
  }
}

// The coder's interval, 32 bits wide: the top byte is settled when low and high share it.
struct Interval {
  uint32_t low = 0, high = 0xffffffff;
  uint32_t middle(int p) const {
    return low + static_cast<uint32_t>((uint64_t{high - low} * static_cast<uint32_t>(p)) >> 12);
  }
};

// The payload: the program's size (4 bytes, little-endian), then the coded bits. Decodes into
// out, which must hold the size; reads at most 4 bytes past the coded bits' end.
inline uint32_t unpack(const uint8_t* in, uint8_t* out, State& s) {
  uint32_t size;
  __builtin_memcpy(&size, in, 4);
  in += 4;
  uint32_t code = 0;
  for (int i = 0; i < 4; ++i) code = code << 8 | *in++;
  start(s);
  Interval interval;
  for (uint32_t at = 0; at < size;) {
    const uint32_t middle = interval.middle(predict(s));
    const int bit = code <= middle;
    if (bit) {
      interval.high = middle;
    } else {
      interval.low = middle + 1;
    }
    learn(s, bit);
    while (((interval.low ^ interval.high) >> 24) == 0) {
      interval.low <<= 8;
      interval.high = interval.high << 8 | 255;
      code = code << 8 | *in++;
    }
    if (s.bit_position == 0) out[at++] = static_cast<uint8_t>(s.history);
  }
  return size;
}

// Calls and jumps with a 32-bit offset get their target as an absolute place in the file, so
// that the many calls of one function read alike. The packer runs the first, the stub the second.
inline void move_call_targets(uint8_t* code, uint32_t size, bool to_absolute) {
  for (uint32_t i = 0; i + 5 <= size; ++i) {
    if (code[i] != 0xe8 && code[i] != 0xe9) continue;
    uint32_t target;
    __builtin_memcpy(&target, code + i + 1, 4);
    target = to_absolute ? target + (i + 5) : target - (i + 5);
    __builtin_memcpy(code + i + 1, &target, 4);
    i += 4;
  }
}

inline void calls_to_absolute(uint8_t* code, uint32_t size) {
  move_call_targets(code, size, true);
}

inline void calls_to_relative(uint8_t* code, uint32_t size) {
  move_call_targets(code, size, false);
}

}  // namespace pack
