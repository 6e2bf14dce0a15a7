// The texts with which both PLY readers refuse a file: the whole-file reader
// of the in-memory road and the block reader of the streamed road. Keeping
// them in one place means the two roads can never word a refusal
// differently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Tavrin {

// Why a value or list count was refused (Status::Bad).
inline constexpr const char* kNegativeListLength = "negative list length";
inline constexpr const char* kNotANumber = "not a number of its type";

inline constexpr const char* kWrongMagicNumber = "Wrong magic number. Expected 'ply'";

// The refusal of a file whose first bytes are `start` (all of them when
// shorter than 3, else at least up to the first newline when there is one)
// for its magic number; empty when they may begin a PLY header.
std::string magic_number_error(std::string_view start, uint64_t file_size);

// The body ends inside fixed-size element `element`, after `complete` of
// its `count` instances.
std::string element_cut_text(const std::string& element, int64_t complete, int64_t count);
// The body ends inside property `property` of instance `instance`.
std::string property_cut_text(const std::string& property, const std::string& element,
                              int64_t instance);
// Property `property` of instance `instance` holds no valid value; `why`
// (may be empty) says what was wrong.
std::string bad_value_text(const std::string& property, const std::string& element,
                           int64_t instance, const std::string& why);

// The checks of a file name and of the content, in the order both roads
// make them.
// Empty when the path ends in ".ply" (case ignored).
std::string extension_error(const std::string& path);
inline constexpr const char* kNoVertexElement = "No element 'vertex' with at least one instance";
std::string too_many_nodes_text(const std::string& element, uint64_t count);
std::string missing_axis_text(const std::string& element, int axis);
inline constexpr const char* kFaceListNotAList =
    "Property 'vertex_indices' of element 'face' is not a list";
// Coordinate `index` (3 per node) is not finite.
std::string non_finite_coordinate_text(int64_t index);
inline constexpr const char* kTooManyFaces =
    "Too many faces: more than 2147483647 triangles or lines";
// `kind` is "line", "triangle" or "quadrilateral".
std::string face_index_text(int32_t value, const char* kind, int64_t record, int64_t num_nodes);
std::string no_faces_text(const std::string& file_name);
// The file name refusals and progress lines show: the part of a path after
// its last '/', failing that its last '\'; without either the whole path,
// or nothing when `whole_when_none` is false.
std::string after_last_separator(const std::string& path, bool whole_when_none = true);
// The line (without its newline) that says how many values of a field were
// not finite.
std::string non_finite_values_text(const std::string& field, int64_t count);

}  // namespace Tavrin
