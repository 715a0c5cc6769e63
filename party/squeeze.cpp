// The intro's packer, run by the build: filters the unpacked program's calls, squeezes it with
// the model of pack_model.h into the stub's payload and unpacks that again to prove it exact.
// It also writes the model's figures for the hand-written stub, so that they have one source.
// Usage: intro_squeeze IN OUT | intro_squeeze -d IN OUT | intro_squeeze --constants OUT
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pack_model.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes squeeze(Bytes program) {
  const uint32_t size = static_cast<uint32_t>(program.size());
  pack::calls_to_absolute(program.data(), size);
  Bytes out(4);
  std::memcpy(out.data(), &size, 4);
  std::unique_ptr<pack::State> state(new pack::State{});
  pack::start(*state);
  pack::Interval interval;
  for (const uint8_t byte : program) {
    for (int b = 7; b >= 0; --b) {
      const int bit = byte >> b & 1;
      const uint32_t middle = interval.middle(pack::predict(*state));
      if (bit) {
        interval.high = middle;
      } else {
        interval.low = middle + 1;
      }
      pack::learn(*state, bit);
      while (((interval.low ^ interval.high) >> 24) == 0) {
        out.push_back(static_cast<uint8_t>(interval.high >> 24));
        interval.low <<= 8;
        interval.high = interval.high << 8 | 255;
      }
    }
  }
  // The high byte of low alone decodes every bit so far: the stub reads zeros after it.
  out.push_back(static_cast<uint8_t>((interval.low >> 24) + 1));
  return out;
}

// Empty when the payload claims more than the stub could hold.
Bytes unsqueeze(Bytes payload) {
  uint32_t size;
  std::memcpy(&size, payload.data(), 4);
  if (size > pack::largest_program) return {};
  payload.resize(payload.size() + 4, 0);  // what the stub finds past the payload
  Bytes program(size);
  std::unique_ptr<pack::State> state(new pack::State{});
  pack::unpack(payload.data(), program.data(), *state);
  pack::calls_to_relative(program.data(), size);
  return program;
}

bool read_file(const char* path, Bytes& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

bool write_file(const char* path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// The figures unpack_stub.S decodes with, as assembler definitions.
Bytes stub_constants() {
  std::string text;
  const auto define = [&text](const char* name, long value) {
    text += std::string("        .set ") + name + ", " + std::to_string(value) + "\n";
  };
  define("model_count", pack::model_count);
  define("slot_bits", pack::slot_bits);
  define("stretch_range", pack::stretch_range);
  define("count_limit", pack::count_limit);
  define("error_scale", pack::error_scale);
  define("learning_shift", pack::learning_shift);
  define("partial_multiplier", pack::partial_multiplier);
  define("context_multiplier", static_cast<long>(pack::context_multiplier));
  define("largest_program", pack::largest_program);
  text += "        .macro context_masks_bytes\n        .byte ";
  for (int m = 0; m < pack::model_count; ++m) {
    text += (m > 0 ? ", " : "") + std::to_string(pack::context_masks[m]);
  }
  text += "\n        .endm\n";
  return Bytes(text.begin(), text.end());
}

int usage(bool asked) {
  std::fprintf(asked ? stdout : stderr,
               "usage: intro_squeeze IN OUT         pack the program IN into the payload OUT\n"
               "       intro_squeeze -d IN OUT      unpack the payload IN into OUT\n"
               "       intro_squeeze --constants OUT  the model's figures for the stub\n");
  return asked ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return usage(true);
  if (argc == 3 && std::strcmp(argv[1], "--constants") == 0) {
    if (write_file(argv[2], stub_constants())) return 0;
    std::fprintf(stderr, "intro_squeeze: cannot write %s\n", argv[2]);
    return 1;
  }
  const bool unpacking = argc == 4 && std::strcmp(argv[1], "-d") == 0;
  if (argc != 3 && !unpacking) return usage(false);
  const char* in = argv[argc - 2];
  const char* out = argv[argc - 1];
  Bytes input;
  if (!read_file(in, input) || input.size() < (unpacking ? 5u : 1u)) {
    std::fprintf(stderr, "intro_squeeze: cannot read %s, or it is too short\n", in);
    return 1;
  }
  if (!unpacking && input.size() > pack::largest_program) {
    std::fprintf(stderr, "intro_squeeze: %s is larger than the stub's %u bytes\n", in,
                 pack::largest_program);
    return 1;
  }
  Bytes output = unpacking ? unsqueeze(input) : squeeze(input);
  if (unpacking && output.empty()) {
    std::fprintf(stderr, "intro_squeeze: %s is not a payload\n", in);
    return 1;
  }
  if (!unpacking && unsqueeze(output) != input) {
    std::fprintf(stderr, "intro_squeeze: %s does not unpack to itself\n", in);
    return 1;
  }
  if (!write_file(out, output)) {
    std::fprintf(stderr, "intro_squeeze: cannot write %s\n", out);
    return 1;
  }
  return 0;
}
