// tavrin-stream MESH.ply TYPE GRID [LOAD_FACTOR] [--block N] [--budget BYTES]:
// the batch run of tavrin on the streamed road, which reads a binary PLY
// mesh in blocks, several times, instead of loading it whole, and writes
// the same files. Types whose cells depend on node normals and ascii files
// are refused with one line saying why.

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/batch.h"
#include "app/command_line.h"
#include "app/grid_request.h"
#include "app/stream_run.h"
#include "base/messages.h"

using namespace Tavrin;

namespace {

std::string stream_usage(const char* program) {
  return format("Usage: %s MESH.ply TYPE GRID [LOAD_FACTOR] [--block N] [--budget BYTES]\n",
                program) +
         "\tSimplifies like 'tavrin MESH.ply TYPE GRID [LOAD_FACTOR]' and writes the same files,\n"
         "\tbut reads the binary PLY mesh in blocks instead of loading it whole: only the node\n"
         "\tcoordinates, the cell table and the triangles that cross cells stay in memory.\n"
         "\tHASH_UC_NORMAL, HASH_UC_ADAPT_NORMAL and HASH_UC_TEMP_NORMAL are not streamed.\n"
         "\tGRID may be replaced by --triangles N or --max-error E, as for tavrin.\n"
         "\t--block N: vertices or faces read per block (default 1048576; also\n"
         "\t\tTAVRIN_STREAM_BLOCK).\n"
         "\t--budget BYTES: memory budget, with an optional K, M or G suffix (default half the\n"
         "\t\tavailable memory; also TAVRIN_STREAM_BUDGET). The edges of the boundary field\n"
         "\t\tare counted in passes of at most the budget and at most 16 bytes per node\n"
         "\t\t(at least 64 MB), one more read of the faces per pass.\n"
         "\ttavrin itself takes this road when the in-memory one would need more than the\n"
         "\tbudget.\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && is_help_switch(argv[1])) {
    log_message(stream_usage(argv[0]));
    return 0;
  }
  StreamSettings settings;
  if (!stream_settings_from_environment(settings)) return 2;
  // The words other than the flags and their values, in their order.
  std::vector<const char*> words;
  for (int i = 1; i < argc; ++i) {
    const bool block = std::strcmp(argv[i], "--block") == 0;
    const bool budget = std::strcmp(argv[i], "--budget") == 0;
    if (!block && !budget) {
      // The grid may be given as "--triangles N" or "--max-error E" in
      // its place, the third word.
      if (words.size() == 2 && is_grid_request_option(argv[i])) {
        words.push_back(argv[i]);
        continue;
      }
      if (std::strncmp(argv[i], "--", 2) == 0) {
        log_message(format("Unknown option '%s'.\n", argv[i]));
        log_message(stream_usage(argv[0]));
        return 2;
      }
      words.push_back(argv[i]);
      continue;
    }
    if (!set_stream_setting(settings, argv[i], i + 1 < argc ? argv[i + 1] : "", block)) return 2;
    ++i;
  }
  std::optional<BatchRequest> request =
      parse_batch_request(static_cast<int>(words.size()), words.data(), stream_usage(argv[0]));
  if (!request) return 2;
  request->road = BatchRoad::Streamed;
  request->stream = settings;
  return batch_run(*request);
}
