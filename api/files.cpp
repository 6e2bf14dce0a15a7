// The library's file calls: the `tavrin` program's PLY reader, GiD writer and
// PLY writer inside a call scope. Their failures are told as messages; the
// last one sent is the reason a call returns.

#include <memory>
#include <new>
#include <string>

#include "api/call_scope.h"
#include "api/mesh_convert.h"
#include "io/gid_writer.h"
#include "io/ply_reader.h"
#include "io/ply_writer.h"

namespace tavrin {

namespace {

// Passes every message on to the caller's sink and keeps the last one, without
// its line end.
class LastMessage {
 public:
  explicit LastMessage(const MessageSink& messages)
      : sink_([this, &messages](const std::string& text) {
          last_ = text;
          while (!last_.empty() && last_.back() == '\n') last_.pop_back();
          if (messages) messages(text);
        }) {}
  const MessageSink& sink() const { return sink_; }
  std::string reason(const char* fallback) const { return last_.empty() ? fallback : last_; }

 private:
  std::string last_;
  MessageSink sink_;
};

std::string write_gid_checked(const std::string& path, const MeshView& mesh,
                              const MessageSink& messages) {
  std::unique_ptr<Tavrin::Object> object = detail::object_from_view(mesh);
  LastMessage last(messages);
  detail::CallScope scope(0, last.sink(), 0);
  if (export_gid(*object, path)) return {};
  return last.reason("The GiD files could not be written.");
}

std::string write_ply_checked(const std::string& path, const MeshView& mesh,
                              const MessageSink& messages) {
  std::unique_ptr<Tavrin::Object> object = detail::object_from_view(mesh);
  LastMessage last(messages);
  detail::CallScope scope(0, last.sink(), 0);
  if (Tavrin::write_ply(path, *object) == object->num_triangles() && object->num_triangles() > 0)
    return {};
  return last.reason("The PLY file could not be written.");
}

}  // namespace

Result read_ply(const std::string& path, const MessageSink& messages) {
  Result out;
  LastMessage last(messages);
  std::unique_ptr<Tavrin::Object> object;
  try {
    {
      detail::CallScope scope(0, last.sink(), 0);
      object = Tavrin::load_ply(path);
    }
    if (!object) {
      out.error = last.reason("The file could not be read.");
      return out;
    }
    out.mesh = detail::mesh_from_object(*object);
  } catch (const std::bad_alloc&) {
    out = Result{};
    out.error = "Not enough memory to read '" + path + "'.";
    return out;
  }
  out.report.input_nodes = out.report.nodes = out.mesh.node_count();
  out.report.input_triangles = out.report.triangles = out.mesh.triangle_count();
  out.report.lines = out.mesh.line_count();
  return out;
}

std::string write_gid(const std::string& path, const MeshView& mesh, const MessageSink& messages) {
  if (std::string error = check_mesh(mesh); !error.empty()) return error;
  try {
    return write_gid_checked(path, mesh, messages);
  } catch (const std::bad_alloc&) {
    return "Not enough memory to write '" + path + "'.";
  }
}

std::string write_ply(const std::string& path, const MeshView& mesh, const MessageSink& messages) {
  if (std::string error = check_mesh(mesh); !error.empty()) return error;
  try {
    return write_ply_checked(path, mesh, messages);
  } catch (const std::bad_alloc&) {
    return "Not enough memory to write '" + path + "'.";
  }
}

}  // namespace tavrin
