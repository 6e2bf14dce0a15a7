#include "app/grid_request.h"

#include <cmath>
#include <cstring>

#include "app/command_line.h"
#include "base/messages.h"

namespace Tavrin {

bool is_grid_request_option(const char* text) {
  return std::strcmp(text, "--triangles") == 0 || std::strcmp(text, "--max-error") == 0;
}

std::optional<GridRequest> parse_grid_request(const char* option, const char* value) {
  GridRequest request;
  if (std::strcmp(option, "--triangles") == 0) {
    const std::optional<uint32_t> n = parse_grid_size(value);
    if (!n || *n == 0 || *n > 2147483647u) {
      log_message(format(
          "Invalid triangle budget '%s': give a whole number of triangles from 1 to 2147483647.\n",
          value));
      return std::nullopt;
    }
    request.triangles = *n;
    return request;
  }
  const std::optional<float> e = parse_float(value);
  if (!e || !std::isfinite(*e) || !(*e > 0.0f)) {
    log_message(
        format("Invalid error bound '%s': give a finite number above 0, a fraction of the "
               "bounding-box diagonal.\n",
               value));
    return std::nullopt;
  }
  request.kind = GridRequest::Kind::MaxError;
  request.max_error = *e;
  return request;
}

}  // namespace Tavrin
