// libFuzzer target comparing the two roads of a batch run on the same file:
// the in-memory road, and the streamed road with tiny blocks and a small
// budget. The input is written to a private file and simplified by both;
// they must agree on whether the file is taken, on every message a batch
// run prints (times aside) and on the bytes of the files written. Files the
// streamed road does not take by design (ascii bodies, vertex records with
// lists) are left to the load target. A disagreement is a finding (abort).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "app/batch.h"
#include "app/stream_run.h"
#include "base/messages.h"
#include "io/ply_block_reader.h"
#include "tests/steady_lines.h"

namespace {

std::string& input_base() {
  static std::string base = [] {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/tavrin_roads_" + std::to_string(getpid());
  }();
  return base;
}

constexpr int32_t kGrid = 8;
std::string output_base() { return input_base() + "_simp_HASH_UC_0008"; }

void remove_files() {
  std::remove((input_base() + ".ply").c_str());
  std::remove((output_base() + ".msh").c_str());
  std::remove((output_base() + ".res").c_str());
}

// What a batch run printed.
std::string printed;

void keep_printed(Tavrin::MessageRoute route, const std::string& text) {
  using Tavrin::MessageRoute;
  if (route == MessageRoute::Box || route == MessageRoute::Progress ||
      route == MessageRoute::Busy || route == MessageRoute::FileName)
    return;
  printed += text;
  if (route == MessageRoute::Status || route == MessageRoute::StatusLine) printed += '\n';
}

std::string take_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return bytes;
}

struct Run {
  int status;
  std::string messages, msh, res;
};

Run run(Tavrin::BatchRoad road) {
  Tavrin::StreamSettings settings;
  settings.block = 3;
  settings.budget = 1024;
  Tavrin::BatchRequest request;
  request.file = input_base() + ".ply";
  request.type_word = "HASH_UC";
  request.grid_size = kGrid;
  request.road = road;
  request.stream = settings;
  printed.clear();
  Run r;
  r.status = Tavrin::batch_run(request);
  r.messages = Tavrin::test::steady_lines(printed);
  r.msh = take_file(output_base() + ".msh");
  r.res = take_file(output_base() + ".res");
  return r;
}

void report(const char* what, const Run& memory, const Run& streamed) {
  std::fprintf(stderr,
               "The roads disagree on %s.\n--- in memory (status %d):\n%s--- streamed "
               "(status %d):\n%s",
               what, memory.status, memory.messages.c_str(), streamed.status,
               streamed.messages.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Tavrin::set_message_sink(keep_printed);
  input_base();  // made before the exit handler, so destroyed after it
  std::atexit(remove_files);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = input_base() + ".ply";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
  {
    Tavrin::PlyBlockReader reader;
    if (!reader.open(path) && !reader.is_streamable()) return 0;
  }
  const Run memory = run(Tavrin::BatchRoad::InMemory);
  const Run streamed = run(Tavrin::BatchRoad::Streamed);
  if ((memory.status == 0) != (streamed.status == 0)) report("taking the file", memory, streamed);
  if (memory.messages != streamed.messages) report("the messages", memory, streamed);
  if (memory.msh != streamed.msh || memory.res != streamed.res)
    report("the files written", memory, streamed);
  return 0;
}
