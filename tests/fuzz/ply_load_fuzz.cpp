// libFuzzer target over the whole PLY load path: the bytes are written to a
// file and handed to load_ply, which parses the header, converts the body in
// any of the three storages, checks the content and builds the Object with
// its boundary field. Any crash, sanitizer report, leak or slow input is a
// finding. The reader takes a path, so each input goes through one private
// file in the temporary directory (in memory on most systems).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/messages.h"
#include "io/ply_reader.h"
#include "mesh/object.h"

namespace {

std::string& input_path() {
  static std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/tavrin_fuzz_" + std::to_string(getpid()) + ".ply";
  }();
  return path;
}

void remove_input() { std::remove(input_path().c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Messages are dropped: the fuzzer's own output stays readable.
  Tavrin::set_message_sink([](Tavrin::MessageRoute, const std::string&) {});
  input_path();  // made before the exit handler, so destroyed after it
  std::atexit(remove_input);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = input_path();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
  std::unique_ptr<Tavrin::Object> object = Tavrin::load_ply(path);
  if (object) {
    // Touch what the build produced so that a bad index or count shows up here.
    volatile int64_t sink = object->num_nodes() + object->num_triangles();
    (void)sink;
  }
  return 0;
}
