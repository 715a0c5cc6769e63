// Feeds every file of the given directories to a fuzz entry, for builds without libFuzzer (gcc).
// Usage: song_parse_fuzz DIRECTORY...; exits 0 when every file ran.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Returns the number of files fed, or -1 when the directory cannot be read.
int replay_directory(const char* path) {
  std::error_code error;
  std::filesystem::directory_iterator entries(path, error);
  if (error) {
    std::fprintf(stderr, "cannot read %s: %s\n", path, error.message().c_str());
    return -1;
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
  return ran;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY...\n", argv[0]);
    return 2;
  }
  int ran = 0;
  for (int i = 1; i < argc; ++i) {
    const int files = replay_directory(argv[i]);
    if (files < 0) return 2;
    ran += files;
  }
  std::printf("replayed %d inputs\n", ran);
  return ran > 0 ? 0 : 1;
}
