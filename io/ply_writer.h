// Writing a mesh as a binary little-endian PLY file: nodes with every scalar
// field as a float vertex property, triangles as index lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/object.h"

namespace Tavrin {

// Encodes a scalar name as a property name: unreserved bytes (A-Z a-z 0-9
// - _ . ~) are copied, every other byte becomes "%hh" in lower-case hex.
// An empty name has no encoding.
std::optional<std::string> encode_property_name(std::string_view name);

// Writes the file; returns num_triangles, 0 when the file cannot be created
// or any write or the close fails. A scalar whose name has no encoding or an
// encoding of 256 characters or more, or that does not hold a value per
// node, is left out of header and data alike, with a message.
int write_ply(const std::string& file_name, const std::string& name, int32_t num_nodes,
              const Vec3* nodes, int32_t num_triangles, const TriangleRecord* triangles,
              const std::vector<Scalar>& scalars);

// The same for an object as it is (not its full mesh).
int write_ply(const std::string& file_name, const Object& object);

}  // namespace Tavrin
