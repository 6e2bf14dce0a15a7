#include "app/batch_request.h"

#include <cmath>
#include <cstring>

#include "app/command_line.h"
#include "base/messages.h"
#include "hashuc/simp_type.h"

namespace Tavrin {

namespace {

bool refuse(const std::string& text) {
  log_message(text);
  return false;
}

// The grid size or the grid request at words[2] (and [3]); `next` is then
// the index of the optional load factor.
bool parse_grid(int count, const char* const* words, BatchRequest& request, int& next) {
  next = 3;
  if (is_grid_request_option(words[2])) {
    if (count < 4) return refuse(format("Give a value after '%s'.\n", words[2]));
    request.grid_request = parse_grid_request(words[2], words[3]);
    next = 4;
    return request.grid_request.has_value();
  }
  const std::optional<uint32_t> grid = parse_grid_size(words[2]);
  if (!grid || *grid == 0)
    return refuse(
        format("Invalid grid size '%s': give a whole number of cells per axis from 1 to %u.\n",
               words[2], kMaxGridSize));
  if (*grid > kMaxGridSize)
    return refuse(format("Grid size %u is too large: at most %u cells per axis are supported.\n",
                         *grid, kMaxGridSize));
  request.grid_size = static_cast<int32_t>(*grid);
  return true;
}

bool parse_load_factor(const char* word, BatchRequest& request) {
  // The batch run takes no options there: "--x" is not a load factor.
  if (std::strncmp(word, "--", 2) == 0) return refuse(format("Unknown option '%s'.\n", word));
  const std::optional<float> lf = parse_float(word);
  if (!lf || !std::isfinite(*lf) || *lf < 0.0f)
    return refuse(format("Invalid load factor '%s': give a finite number of 0 or more.\n", word));
  request.load_factor = *lf;
  return true;
}

}  // namespace

std::optional<BatchRequest> parse_batch_request(int count, const char* const* words,
                                                const std::string& usage) {
  if (count != 3 && count != 4 && !(count == 5 && is_grid_request_option(words[2]))) {
    log_message(format("Wrong number of arguments (%d).\n", count));
    log_message(usage);
    return std::nullopt;
  }
  BatchRequest request;
  request.file = words[0];
  request.type_word = words[1];
  if (!is_simp_type_keyword(words[1]))
    log_message(format("Unknown simplification type '%s': using HASH_UC.\n", words[1]));
  int next = 0;
  if (!parse_grid(count, words, request, next)) return std::nullopt;
  if (count == next + 1 && !parse_load_factor(words[next], request)) return std::nullopt;
  return request;
}

}  // namespace Tavrin
