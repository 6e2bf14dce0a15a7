// The drawing resources of one object: node positions, normals, optional
// texture coordinates and the index lists of its element kinds, drawn by one
// of three render methods — display lists compiled once, client vertex
// arrays sent every frame, or buffer objects kept on the graphics card.
// Hangs in Object::graphic; built on the first draw, dropped when the mesh
// changes. Everything here needs a current GL context except construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "mesh/object.h"

namespace Tavrin {

enum RenderMethod : int32_t { DISPLAY_LIST = 0, VERTEX_ARRAY = 1, BUFFER_OBJECT = 2 };

// Element kinds and their bits in the draw mask (Object::draw_elements).
enum ElementKind : int32_t { POINT_ELEMENTS = 0, LINE_ELEMENTS, TRIANGLE_ELEMENTS, QUAD_ELEMENTS };
constexpr int32_t kElementKinds = 4;
constexpr int32_t element_bit(int32_t kind) { return 1 << kind; }

// "display list", "vertex array", "buffer object".
const char* render_method_name(int32_t method);

// The method that can be used for `requested` given what the driver offers:
// buffer objects and vertex arrays both fall back to display lists.
int32_t usable_render_method(int32_t requested, bool buffer_objects, bool vertex_arrays);
// The same with the current context's answers.
int32_t usable_render_method(int32_t requested);

// Zero-filled, 32-byte aligned storage for the client arrays (whole cache
// lines and aligned vector loads for the driver's copies).
template <class T>
struct AlignedAllocator {
  using value_type = T;
  AlignedAllocator() = default;
  template <class U>
  AlignedAllocator(const AlignedAllocator<U>&) {}
  T* allocate(size_t n) {
    return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{32}));
  }
  void deallocate(T* p, size_t) { ::operator delete (p, std::align_val_t{32}); }
  template <class U>
  bool operator==(const AlignedAllocator<U>&) const {
    return true;
  }
};
template <class T>
using AlignedArray = std::vector<T, AlignedAllocator<T>>;

class RenderArrays : public ObjectCache {
 public:
  // `method` must already be usable (see usable_render_method).
  explicit RenderArrays(int32_t method) : method_(method) {}
  ~RenderArrays() override { release(); }
  RenderArrays(const RenderArrays&) = delete;
  RenderArrays& operator=(const RenderArrays&) = delete;

  int32_t method() const { return method_; }

  // Copies `count` positions of three floats. Buffer objects upload at once
  // and keep no client copy; display lists are compiled again.
  void set_vertices(const float* xyz, int32_t count);
  // Three floats per vertex (the vertex count of set_vertices); null: none.
  void set_normals(const float* xyz);
  // `k` floats per vertex (1 to 4; 1 for colour maps); null or k 0: none.
  void set_tex_coords(const float* values, int32_t k);
  // The index list of one kind: `count` elements of 1, 2, 3 or 4 indices.
  void set_elements(int32_t kind, const uint32_t* indices, int32_t count);

  // Draws the kinds in `mask` (bits 1 points, 2 lines, 4 triangles, 8 quads).
  // Colour, lighting, polygon mode and line width are the caller's.
  void renderVA(int32_t mask);
  // Deletes the GL objects and frees the arrays.
  void release();

  // Display lists keep the texture coordinates they were compiled with and
  // their index lists are freed after compiling: true when a list was
  // compiled with the other texture state, or new arrays were set after
  // compiling, so the owner must rebuild from the object.
  bool lists_need_rebuild(bool with_tex) const;

  int32_t vertex_count() const { return vertex_count_; }
  int32_t tex_coord_size() const { return tex_size_; }
  bool has_normals() const { return has_normals_; }
  int32_t element_count(int32_t kind) const { return element_count_[kind]; }

  // Send texture coordinates while drawing; set only around a draw coloured
  // by a scalar field, and only honoured when coordinates were given.
  bool use_tex_coords = false;

 private:
  void drop_lists();
  void compile_list(int32_t kind, bool with_tex);
  uint32_t upload(uint32_t target, const void* data, size_t bytes, const char* label);

  int32_t method_;
  int32_t vertex_count_ = 0;
  int32_t tex_size_ = 0;
  bool has_normals_ = false;
  AlignedArray<float> vertices_, normals_, tex_coords_;
  AlignedArray<uint32_t> elements_[kElementKinds];
  int32_t element_count_[kElementKinds] = {0, 0, 0, 0};
  uint32_t buffers_[3] = {0, 0, 0};                      // vertices, normals, texture coordinates
  uint32_t kind_objects_[kElementKinds] = {0, 0, 0, 0};  // element buffer or display list
  bool list_has_tex_[kElementKinds] = {false, false, false, false};
  bool stale_ = false;  // compiled lists were dropped after their indices were freed
};

}  // namespace Tavrin
