// Vector selection: three scalar fields form a vector when their names begin
// with the component names of one candidate triple (ignoring case); the
// candidates are tried in a fixed order and the first complete one wins.

#include <strings.h>

#include <cstring>

#include "mesh/object.h"

namespace Tavrin {

namespace {

constexpr const char* kCandidates[][3] = {
    {"vx", "vy", "vz"}, {"red", "green", "blue"}, {"nx", "ny", "nz"},
    {"r", "g", "b"},    {"x", "y", "z"},
};

// Index of the first field whose name begins with prefix (ignoring ASCII
// case), or -1.
int first_with_prefix(const std::vector<Scalar>& scalars, const char* prefix) {
  const size_t length = std::strlen(prefix);
  for (size_t i = 0; i < scalars.size(); ++i) {
    const std::string& name = scalars[i].name;
    if (name.size() >= length && strncasecmp(name.c_str(), prefix, length) == 0)
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::optional<VectorTriple> Object::find_vector_triple() const {
  if (scalars.empty()) return std::nullopt;
  for (const auto& candidate : kCandidates) {
    VectorTriple triple{first_with_prefix(scalars, candidate[0]),
                        first_with_prefix(scalars, candidate[1]),
                        first_with_prefix(scalars, candidate[2])};
    if (triple.first >= 0 && triple.second >= 0 && triple.third >= 0) return triple;
  }
  return std::nullopt;
}

std::string Object::vector_description() const {
  std::optional<VectorTriple> triple = find_vector_triple();
  if (!triple) return {};
  return scalars[triple->first].name + ", " + scalars[triple->second].name + ", " +
         scalars[triple->third].name;
}

}  // namespace Tavrin
