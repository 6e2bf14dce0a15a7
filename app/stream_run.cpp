#include "app/stream_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/group_digits.h"
#include "base/messages.h"
#include "io/ply_block_reader.h"

namespace Tavrin {

uint64_t parse_byte_size(const char* text) {
  if (!text || !*text) return 0;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text || text[0] == '-') return 0;
  uint64_t scale = 1;
  if (*end == 'k' || *end == 'K') scale = uint64_t{1} << 10;
  if (*end == 'm' || *end == 'M') scale = uint64_t{1} << 20;
  if (*end == 'g' || *end == 'G') scale = uint64_t{1} << 30;
  if (scale != 1) ++end;
  if (*end != '\0' || v == 0 || v > std::numeric_limits<uint64_t>::max() / scale) return 0;
  return static_cast<uint64_t>(v) * scale;
}

namespace {

// The bytes of the first line of a /proc file that matches `pattern` (a
// scanf pattern of one "%llu kB" number); 0 when there is none.
uint64_t proc_kilobytes(const char* path, const char* pattern) {
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  char line[256];
  unsigned long long kb = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, pattern, &kb) == 1;
  std::fclose(f);
  return found ? static_cast<uint64_t>(kb) * 1024 : 0;
}

// MemAvailable of /proc/meminfo, else the physical memory; 0 when unknown.
uint64_t available_memory() {
  if (const uint64_t bytes = proc_kilobytes("/proc/meminfo", "MemAvailable: %llu kB")) return bytes;
  const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
  return pages > 0 && size > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(size) : 0;
}

}  // namespace

bool set_stream_setting(StreamSettings& settings, const char* name, const char* text, bool block) {
  const uint64_t value = parse_byte_size(text);
  if (value == 0) {
    log_message(format("Invalid %s '%s': give a positive number.\n", name, text ? text : ""));
    return false;
  }
  if (!block) {
    settings.budget = value;
    return true;
  }
  if (value > static_cast<uint64_t>(kMaxStreamBlock))
    log_message(
        format("%s '%s' is capped at ", name, text) +
        group_digits_text(
            format("%lld vertices or faces.\n", static_cast<long long>(kMaxStreamBlock)), 256));
  settings.block = static_cast<int64_t>(std::min<uint64_t>(value, kMaxStreamBlock));
  return true;
}

bool stream_settings_from_environment(StreamSettings& settings) {
  settings = StreamSettings();
  const uint64_t memory = available_memory();
  if (memory > 0) settings.budget = memory / 2;
  // An empty variable counts as unset.
  for (const char* name : {"TAVRIN_STREAM_BLOCK", "TAVRIN_STREAM_BUDGET"}) {
    const char* text = std::getenv(name);
    if (text && *text &&
        !set_stream_setting(settings, name, text, std::strcmp(name, "TAVRIN_STREAM_BLOCK") == 0))
      return false;
  }
  return true;
}

uint64_t peak_resident_bytes() { return proc_kilobytes("/proc/self/status", "VmHWM: %llu kB"); }

void log_stream_summary(const std::string& path, const StreamSettings& settings) {
  // Only the numbers are grouped: a path may hold digits.
  const std::string numbers = group_digits_text(
      format("%lld vertices or faces: peak memory %.1f MB.", static_cast<long long>(settings.block),
             static_cast<double>(peak_resident_bytes()) / (1024.0 * 1024.0)),
      1024);
  log_message(format("'%s' was streamed in blocks of %s\n", path.c_str(), numbers.c_str()));
}

bool exceeds_memory_budget(const std::string& path, uint64_t budget) {
  PlyBlockReader reader;
  if (!reader.open(path)) return false;
  // The in-memory road maps the whole file, keeps about 60 bytes per face
  // while it builds and simplifies, and per node its coordinates, normal,
  // fields and groupings.
  const uint64_t nodes = static_cast<uint64_t>(reader.num_nodes());
  const uint64_t faces = static_cast<uint64_t>(reader.num_face_records());
  const uint64_t need = reader.file_bytes() + 60 * faces +
                        (40 + 4 * static_cast<uint64_t>(reader.field_names().size())) * nodes;
  return need > budget;
}

}  // namespace Tavrin
