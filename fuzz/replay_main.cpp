// Feeds every file of a directory to a fuzz entry, for builds without libFuzzer (gcc).
// Usage: song_parse_fuzz DIRECTORY; exits 0 when every file ran.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY\n", argv[0]);
    return 2;
  }
  std::error_code error;
  std::filesystem::directory_iterator entries(argv[1], error);
  if (error) {
    std::fprintf(stderr, "cannot read %s: %s\n", argv[1], error.message().c_str());
    return 2;
  }
  int ran = 0;
  for (const auto& entry : entries) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++ran;
  }
  std::printf("replayed %d inputs\n", ran);
  return ran > 0 ? 0 : 1;
}
