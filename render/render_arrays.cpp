// Display lists, client vertex arrays and buffer objects for one object; see
// render_arrays.h.
#include <GL/glew.h>

#include "render/render_arrays.h"

#include <cstring>

#include "render/gl_driver.h"

namespace Tavrin {

namespace {

constexpr GLenum kPrimitive[kElementKinds] = {GL_POINTS, GL_LINES, GL_TRIANGLES, GL_QUADS};
constexpr int32_t kIndicesPer[kElementKinds] = {1, 2, 3, 4};
constexpr const char* kDrawLabel[kElementKinds] = {"Draw_point_elements", "Draw_line_elements",
                                                   "Draw_triangle_elements", "Draw_quad_elements"};
enum { VERTEX_BUFFER = 0, NORMAL_BUFFER = 1, TEX_BUFFER = 2 };

template <class T>
void assign(AlignedArray<T>& array, const T* data, size_t n) {
  array.assign(data, data + n);
}

template <class T>
void free_array(AlignedArray<T>& array) {
  AlignedArray<T>().swap(array);
}

}  // namespace

const char* render_method_name(int32_t method) {
  switch (method) {
    case VERTEX_ARRAY:
      return "vertex array";
    case BUFFER_OBJECT:
      return "buffer object";
    default:
      return "display list";
  }
}

int32_t usable_render_method(int32_t requested, bool buffer_objects, bool vertex_arrays) {
  if (requested == BUFFER_OBJECT && !buffer_objects) return DISPLAY_LIST;
  if (requested == VERTEX_ARRAY && !vertex_arrays) return DISPLAY_LIST;
  if (requested < DISPLAY_LIST || requested > BUFFER_OBJECT) return DISPLAY_LIST;
  return requested;
}

int32_t usable_render_method(int32_t requested) {
  bool buffers = requested == BUFFER_OBJECT && buffer_objects_available();
  bool arrays = requested == VERTEX_ARRAY && vertex_arrays_supported();
  return usable_render_method(requested, buffers, arrays);
}

uint32_t RenderArrays::upload(uint32_t target, const void* data, size_t bytes, const char* label) {
  GLuint name = 0;
  glGenBuffers(1, &name);
  glBindBuffer(target, name);
  glBufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
  bool failed = check_gl_error(label);
  glBindBuffer(target, 0);
  if (failed) {
    // Out of graphics memory: draw this array from client memory instead.
    glDeleteBuffers(1, &name);
    return 0;
  }
  return name;
}

void RenderArrays::set_vertices(const float* xyz, int32_t count) {
  vertex_count_ = xyz && count > 0 ? count : 0;
  size_t n = static_cast<size_t>(vertex_count_) * 3;
  if (method_ == BUFFER_OBJECT) {
    if (buffers_[VERTEX_BUFFER]) glDeleteBuffers(1, &buffers_[VERTEX_BUFFER]);
    buffers_[VERTEX_BUFFER] = 0;
    if (n) {
      buffers_[VERTEX_BUFFER] =
          upload(GL_ARRAY_BUFFER, xyz, n * sizeof(float), "VBO: Vertex coordinates buffer");
    }
    if (buffers_[VERTEX_BUFFER]) {
      free_array(vertices_);
      return;
    }
  }
  assign(vertices_, xyz, n);
  if (method_ == DISPLAY_LIST) drop_lists();
}

void RenderArrays::set_normals(const float* xyz) {
  has_normals_ = xyz && vertex_count_ > 0;
  size_t n = has_normals_ ? static_cast<size_t>(vertex_count_) * 3 : 0;
  if (method_ == BUFFER_OBJECT) {
    if (buffers_[NORMAL_BUFFER]) glDeleteBuffers(1, &buffers_[NORMAL_BUFFER]);
    buffers_[NORMAL_BUFFER] = 0;
    if (n) {
      buffers_[NORMAL_BUFFER] =
          upload(GL_ARRAY_BUFFER, xyz, n * sizeof(float), "VBO: Vertex normals buffer");
    }
    if (buffers_[NORMAL_BUFFER]) {
      free_array(normals_);
      return;
    }
  }
  assign(normals_, xyz, n);
  if (method_ == DISPLAY_LIST) drop_lists();
}

void RenderArrays::set_tex_coords(const float* values, int32_t k) {
  tex_size_ = values && k >= 1 && k <= 4 && vertex_count_ > 0 ? k : 0;
  size_t n = static_cast<size_t>(vertex_count_) * tex_size_;
  if (method_ == BUFFER_OBJECT) {
    if (buffers_[TEX_BUFFER]) glDeleteBuffers(1, &buffers_[TEX_BUFFER]);
    buffers_[TEX_BUFFER] = 0;
    if (n) {
      buffers_[TEX_BUFFER] =
          upload(GL_ARRAY_BUFFER, values, n * sizeof(float), "VBO: Vertex tex coords buffer");
    }
    if (buffers_[TEX_BUFFER]) {
      free_array(tex_coords_);
      return;
    }
  }
  assign(tex_coords_, values, n);
  if (method_ == DISPLAY_LIST) drop_lists();
}

void RenderArrays::set_elements(int32_t kind, const uint32_t* indices, int32_t count) {
  if (kind < 0 || kind >= kElementKinds) return;
  element_count_[kind] = indices && count > 0 ? count : 0;
  size_t n = static_cast<size_t>(element_count_[kind]) * kIndicesPer[kind];
  assign(elements_[kind], indices, n);
  if (kind_objects_[kind]) {
    if (method_ == BUFFER_OBJECT)
      glDeleteBuffers(1, &kind_objects_[kind]);
    else if (method_ == DISPLAY_LIST)
      glDeleteLists(kind_objects_[kind], 1);
    kind_objects_[kind] = 0;
  }
  // The client index list stays: it draws the kind should the upload fail.
  if (method_ == BUFFER_OBJECT && n)
    kind_objects_[kind] = upload(GL_ELEMENT_ARRAY_BUFFER, elements_[kind].data(),
                                 n * sizeof(uint32_t), "VBO: element buffer");
}

void RenderArrays::drop_lists() {
  if (method_ != DISPLAY_LIST) return;
  for (int32_t k = 0; k < kElementKinds; ++k) {
    if (!kind_objects_[k]) continue;
    glDeleteLists(kind_objects_[k], 1);
    kind_objects_[k] = 0;
    // The kind's index list went with compiling: only a rebuild from the
    // object can draw it again.
    if (elements_[k].empty()) stale_ = true;
  }
}

bool RenderArrays::lists_need_rebuild(bool with_tex) const {
  if (method_ != DISPLAY_LIST) return false;
  if (stale_) return true;
  bool want = with_tex && tex_size_ > 0;
  for (int32_t k = 0; k < kElementKinds; ++k)
    if (kind_objects_[k] && list_has_tex_[k] != want && elements_[k].empty()) return true;
  return false;
}

void RenderArrays::compile_list(int32_t kind, bool with_tex) {
  GLuint list = glGenLists(1);
  if (!list) return;
  const uint32_t* idx = elements_[kind].data();
  size_t n = static_cast<size_t>(element_count_[kind]) * kIndicesPer[kind];
  const float* v = vertices_.data();
  const float* nv = has_normals_ ? normals_.data() : nullptr;
  const float* t = with_tex ? tex_coords_.data() : nullptr;
  const uint32_t vc = static_cast<uint32_t>(vertex_count_);
  glNewList(list, GL_COMPILE);
  glBegin(kPrimitive[kind]);
  for (size_t i = 0; i < n; ++i) {
    uint32_t j = idx[i];
    if (j >= vc) continue;  // a broken index must not read past the arrays
    if (nv) glNormal3fv(nv + 3 * size_t{j});
    if (t) {
      const float* c = t + size_t{j} * tex_size_;
      switch (tex_size_) {
        case 1:
          glTexCoord1fv(c);
          break;
        case 2:
          glTexCoord2fv(c);
          break;
        case 3:
          glTexCoord3fv(c);
          break;
        default:
          glTexCoord4fv(c);
          break;
      }
    }
    glVertex3fv(v + 3 * size_t{j});
  }
  glEnd();
  glEndList();
  kind_objects_[kind] = list;
  list_has_tex_[kind] = with_tex;
  free_array(elements_[kind]);
}

void RenderArrays::renderVA(int32_t mask) {
  const bool with_tex = use_tex_coords && tex_size_ > 0;
  if (method_ == DISPLAY_LIST) {
    for (int32_t k = 0; k < kElementKinds; ++k) {
      if (!(mask & element_bit(k)) || element_count_[k] == 0) continue;
      if (kind_objects_[k] && list_has_tex_[k] != with_tex && !elements_[k].empty()) {
        glDeleteLists(kind_objects_[k], 1);
        kind_objects_[k] = 0;
      }
      if (!kind_objects_[k] && !elements_[k].empty() && vertex_count_ > 0)
        compile_list(k, with_tex);
      if (kind_objects_[k]) glCallList(kind_objects_[k]);
      check_gl_error(kDrawLabel[k]);
    }
    check_gl_error("renderVA");
    return;
  }

  const bool buffers = method_ == BUFFER_OBJECT;
  auto point = [&](int which, const AlignedArray<float>& client) -> const void* {
    if (buffers) glBindBuffer(GL_ARRAY_BUFFER, buffers_[which]);
    return buffers && buffers_[which] ? nullptr : client.data();
  };
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, point(VERTEX_BUFFER, vertices_));
  check_gl_error("VertexPointer");
  if (has_normals_) {
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, point(NORMAL_BUFFER, normals_));
    check_gl_error("NormalPointer");
  }
  if (with_tex) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(tex_size_, GL_FLOAT, 0, point(TEX_BUFFER, tex_coords_));
    check_gl_error("TexCoordPointer");
  }
  for (int32_t k = 0; k < kElementKinds; ++k) {
    if (!(mask & element_bit(k)) || element_count_[k] == 0) continue;
    GLsizei n = static_cast<GLsizei>(int64_t{element_count_[k]} * kIndicesPer[k]);
    if (buffers && kind_objects_[k]) {
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, kind_objects_[k]);
      glDrawElements(kPrimitive[k], n, GL_UNSIGNED_INT, nullptr);
    } else if (!elements_[k].empty()) {
      if (buffers) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
      glDrawElements(kPrimitive[k], n, GL_UNSIGNED_INT, elements_[k].data());
    }
    check_gl_error(kDrawLabel[k]);
  }
  if (buffers) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  if (has_normals_) glDisableClientState(GL_NORMAL_ARRAY);
  if (with_tex) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  check_gl_error("renderVA");
}

void RenderArrays::release() {
  for (int32_t k = 0; k < kElementKinds; ++k) {
    if (kind_objects_[k]) {
      if (method_ == BUFFER_OBJECT)
        glDeleteBuffers(1, &kind_objects_[k]);
      else if (method_ == DISPLAY_LIST)
        glDeleteLists(kind_objects_[k], 1);
      kind_objects_[k] = 0;
    }
    free_array(elements_[k]);
    element_count_[k] = 0;
  }
  for (uint32_t& b : buffers_) {
    if (b) glDeleteBuffers(1, &b);
    b = 0;
  }
  free_array(vertices_);
  free_array(normals_);
  free_array(tex_coords_);
  vertex_count_ = 0;
  tex_size_ = 0;
  has_normals_ = false;
}

}  // namespace Tavrin
