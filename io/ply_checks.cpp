#include "io/ply_checks.h"

#include <strings.h>

#include "base/group_digits.h"
#include "base/messages.h"

namespace Tavrin {

std::string magic_number_error(std::string_view start, uint64_t file_size) {
  if (file_size < 3) return "Unable to read magic number from file";
  if (start.size() < 3 || start.substr(0, 3) != "ply") return kWrongMagicNumber;
  const size_t nl = start.find('\n');
  std::string_view line = start.substr(0, nl);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if ((nl != std::string_view::npos || start.size() == file_size) && line != "ply")
    return kWrongMagicNumber;
  return {};
}

std::string element_cut_text(const std::string& element, int64_t complete, int64_t count) {
  return format("Unexpected end of file while reading '%s' number %lld of %lld", element.c_str(),
                static_cast<long long>(complete), static_cast<long long>(count));
}

std::string property_cut_text(const std::string& property, const std::string& element,
                              int64_t instance) {
  return format("Unexpected end of file while reading '%s' of '%s' number %lld", property.c_str(),
                element.c_str(), static_cast<long long>(instance));
}

std::string bad_value_text(const std::string& property, const std::string& element,
                           int64_t instance, const std::string& why) {
  return format("Error reading '%s' of '%s' number %lld%s%s", property.c_str(), element.c_str(),
                static_cast<long long>(instance), why.empty() ? "" : ": ", why.c_str());
}

std::string extension_error(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "No extension. Only PLY files are supported";
  if (strcasecmp(path.c_str() + dot, ".ply") != 0)
    return "Unsopported extension. Only PLY files are supported";
  return {};
}

std::string too_many_nodes_text(const std::string& element, uint64_t count) {
  return format("Element '%s' has %llu instances, more than the %lld nodes supported",
                element.c_str(), static_cast<unsigned long long>(count), 2147483647ll);
}

std::string missing_axis_text(const std::string& element, int axis) {
  return format("Element '%s' has no property '%c'", element.c_str(), "xyz"[axis]);
}

std::string non_finite_coordinate_text(int64_t index) {
  return format("Vertex %lld has a non-finite coordinate %c", static_cast<long long>(index / 3),
                "xyz"[index % 3]);
}

std::string face_index_text(int32_t value, const char* kind, int64_t record, int64_t num_nodes) {
  return format("Face index %d of %s %lld (element 'face') is outside the nodes 0..%d", value, kind,
                static_cast<long long>(record), static_cast<int>(num_nodes - 1));
}

std::string no_faces_text(const std::string& file_name) {
  return format(
      "No faces in '%s': it needs an element 'face' with a list property 'vertex_indices' of at "
      "least 2 indices",
      file_name.c_str());
}

std::string after_last_separator(const std::string& path, bool whole_when_none) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  if (slash == std::string::npos) return whole_when_none ? path : std::string();
  return path.substr(slash + 1);
}

std::string non_finite_values_text(const std::string& field, int64_t count) {
  return group_digits_text(
      format("Field '%s': %lld values that are not finite (NaN or infinite) are taken as no value.",
             field.c_str(), static_cast<long long>(count)),
      1024);
}

}  // namespace Tavrin
