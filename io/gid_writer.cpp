// GiD mesh and results files. Records are formatted in parallel, each thread
// into its own buffer for one block of 131,072 records, and the blocks are
// written in order, so the output is the same for any number of threads.
// Numbers go through format_g14 (io/number_text.h), which gives printf's
// "%.14g" text.
#include "io/gid_writer.h"

#include <omp.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "base/messages.h"
#include "io/number_text.h"
#include "io/replacing_file.h"

namespace Tavrin {

namespace {

std::function<void()>& progress_callback() {
  static std::function<void()> callback;
  return callback;
}

// A checked text output written through a ReplacingFile: every write and
// the close are verified, and the target is replaced only by commit().
class TextFile {
 public:
  bool create(const std::string& path) {
    path_ = path;
    ok_ = file_.open(path);
    if (!ok_)
      log_message(format("Unable to create file '%s': %s\n", path.c_str(), file_.error().c_str()));
    return ok_;
  }
  void write(const char* data, size_t size) {
    if (ok_ && size && std::fwrite(data, 1, size, file_.stream()) != size) failed("writing");
  }
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Completes the temporary file; false (and it is gone) after any failure.
  bool close() {
    if (!ok_) {
      file_.discard();
      return false;
    }
    if (!file_.finish()) {
      log_message(format("Error writing '%s': %s\n", path_.c_str(), file_.error().c_str()));
      ok_ = false;
    }
    return ok_;
  }
  ReplacingFile& file() { return file_; }

 private:
  void failed(const char* what) {
    log_message(format("Error %s '%s': %s\n", what, path_.c_str(), strerror(errno)));
    ok_ = false;
  }
  ReplacingFile file_;
  std::string path_;
  bool ok_ = false;
};

// Element and node numbers are positive: the unsigned fast path.
inline char* put_int(char* p, int64_t v) {
  if (v < 0) {
    *p++ = '-';
    return format_unsigned(p, 0 - static_cast<uint64_t>(v));
  }
  return format_unsigned(p, static_cast<uint64_t>(v));
}
inline char* put(char* p, char c) {
  *p = c;
  return p + 1;
}

// One text buffer per thread, kept across the record lists of a file pair so
// that its pages are touched once, and never cleared before use.
struct RecordBuffers {
  std::vector<std::unique_ptr<char[]>> text;
  std::vector<size_t> capacity;
  char* get(int thread, size_t bytes) {
    if (text.size() <= static_cast<size_t>(thread)) {
      text.resize(thread + 1);
      capacity.resize(thread + 1, 0);
    }
    if (capacity[thread] < bytes) {
      text[thread].reset(new char[bytes]);
      capacity[thread] = bytes;
    }
    return text[thread].get();
  }
};

// Formats records [0, n) with `format_record(p, i) -> end` (at most
// `max_line` bytes each) and writes them in order. Each round covers up to
// one progress step of records per thread and is shared evenly among the
// threads, the last one included; the progress callback runs once per step.
template <class FormatRecord>
void write_records(TextFile& out, RecordBuffers& buffers, int64_t n, size_t max_line,
                   FormatRecord format_record) {
  if (n <= 0) return;
  const int threads = std::max(1, omp_get_max_threads());
  const int64_t step = std::min<int64_t>(n, kWriteProgressStep);
  // 64 bytes past the last record: the number formatters' scratch.
  const size_t bytes = static_cast<size_t>(step) * max_line + 64;
  const int shares_most = static_cast<int>(std::min<int64_t>(threads, n));
  std::vector<char*> text(shares_most);
  for (int b = 0; b < shares_most; ++b) text[b] = buffers.get(b, bytes);
  std::vector<size_t> lengths(shares_most);
  for (int64_t start = 0; start < n; start += step * threads) {
    const int64_t end = std::min(n, start + step * threads);
    const int64_t steps = (end - start + step - 1) / step;
    const int shares = static_cast<int>(std::min<int64_t>(threads, end - start));
#pragma omp parallel for schedule(static) num_threads(shares)
    for (int b = 0; b < shares; ++b) {
      const int64_t lo = start + (end - start) * b / shares;
      const int64_t hi = start + (end - start) * (b + 1) / shares;
      char* p = text[b];
      for (int64_t i = lo; i < hi; ++i) p = format_record(p, i);
      lengths[b] = static_cast<size_t>(p - text[b]);
    }
    for (int64_t k = 0; k < steps; ++k) report_write_progress();
    for (int b = 0; b < shares; ++b) out.write(text[b], lengths[b]);
  }
}

struct Range {
  double lo, hi;
  const char* label;
};
const Range kTableA[] = {{-0.5, 0.5, "normal"},
                         {0.5, 1.5, "medio"},
                         {1.5, 2.5, "fuera celda"},
                         {2.5, 3.5, "no inversa"},
                         {3.5, 4.5, "mat singular"}};
const Range kTableC[] = {{-0.5, 0.5, "( >=0, >=0, >=0)"}, {0.5, 1.5, "( >=0, >=0, < 0)"},
                         {1.5, 2.5, "( >=0, < 0, >=0)"},  {2.5, 3.5, "( >=0, < 0, < 0)"},
                         {3.5, 4.5, "( < 0, >=0, >=0)"},  {4.5, 5.5, "( < 0, >=0, < 0)"},
                         {5.5, 6.5, "( < 0, < 0, >=0)"},  {6.5, 7.5, "( < 0, < 0, < 0)"}};

// The range tables that label the values of classification results.
// `name` decides the tables, `shown` is how the name is written.
std::string range_tables(const std::string& name, const std::string& shown) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string text;
  const std::string head = format("ResultRangesTable \"tabla %s\"\n", shown.c_str());
  const char* tail = "End ResultRangesTable\n\n";
  auto table = [&](const Range* ranges, size_t count) {
    text += head;
    for (size_t i = 0; i < count; ++i)
      text += format("%g - %g: \"%s\"\n", ranges[i].lo, ranges[i].hi, ranges[i].label);
  };
  if (lower.find("tipo") != std::string::npos) {
    table(kTableA, std::size(kTableA));
    text += tail;
  }
  if (lower.find("evel") != std::string::npos) {
    text += head;
    for (int level = 0; level <= 6; ++level)
      text += format("%g - %g: \"level %d\"\n", level - 0.5, level + 0.5, level);
    text += format("%g -   : \"> 6\"\n", 6.5);
    text += tail;
  }
  if (lower.find("normal id") != std::string::npos) {
    table(kTableC, std::size(kTableC));
    text += tail;
  }
  return text;
}

// A name as it can stand between the double quotes of a GiD file: a double
// quote would end the text early and a control character (a line break
// above all) would break the line, so they become ' and a blank.
std::string quotable(const std::string& name) {
  std::string text = name;
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"')
      c = '\'';
    else if (u < 0x20 || u == 0x7f)
      c = ' ';
  }
  return text;
}

void write_results(TextFile& out, RecordBuffers& buffers, const std::string& path,
                   int32_t num_nodes, const std::vector<Scalar>& scalars) {
  out.write("GiD Post Results File 1.0\n\n");
  for (const Scalar& s : scalars) {
    if (s.values.size() < static_cast<size_t>(num_nodes)) {
      log_message(format("Result '%s' left out of '%s': it has %zu values for %d nodes\n",
                         s.name.c_str(), path.c_str(), s.values.size(), num_nodes));
      continue;
    }
    const std::string name = quotable(s.name);
    std::string tables = range_tables(s.name, name);
    out.write(tables);
    double step = s.step >= 0 ? static_cast<double>(static_cast<float>(s.step)) : 1.0;
    out.write(format("Result \"%s\" \"Tavrin\" %g Scalar OnNodes\n", name.c_str(), step));
    if (!tables.empty()) out.write(format("ResultRangesTable \"tabla %s\"\n", name.c_str()));
    out.write("Values\n");
    const float* values = s.values.data();
    // A value that is not finite cannot be read back; it is written as the
    // lowest float, which stands for "no value" everywhere else.
    write_records(out, buffers, num_nodes, 48, [values](char* p, int64_t i) {
      const float v = std::isfinite(values[i]) ? values[i] : std::numeric_limits<float>::lowest();
      p = put(put_int(p, i + 1), ' ');
      return put(format_g14(p, v), '\n');
    });
    out.write("end values\n");
  }
}

}  // namespace

std::function<void()> set_write_progress(std::function<void()> callback) {
  std::function<void()> old = std::move(progress_callback());
  progress_callback() = std::move(callback);
  return old;
}

void report_write_progress() {
  if (progress_callback()) progress_callback()();
}

std::string gid_mesh_file_name(const std::string& file_name) {
  size_t dot = file_name.rfind('.');
  if (dot != std::string::npos && strcasecmp(file_name.c_str() + dot, ".msh") == 0)
    return file_name;
  return file_name + ".msh";
}

std::string gid_results_file_name(const std::string& mesh_file_name) {
  size_t dot = mesh_file_name.rfind('.');
  return (dot == std::string::npos ? mesh_file_name : mesh_file_name.substr(0, dot)) + ".res";
}

bool write_gid(const std::string& file_name, const std::string& mesh_name, int32_t num_nodes,
               const Vec3* nodes, int32_t num_triangles, const TriangleRecord* triangles,
               int32_t num_lines, const LineRecord* lines, const std::vector<Scalar>& scalars) {
  const std::string mesh_path = gid_mesh_file_name(file_name);
  std::string name = mesh_name;
  if (name.empty()) {
    size_t slash = file_name.rfind('/');
    if (slash == std::string::npos) slash = file_name.rfind('\\');
    name = slash == std::string::npos ? file_name : file_name.substr(slash);
  }
  name = quotable(name);

  // Both files are checked and opened before anything is written, and
  // replace their targets together only when both are complete: a failure
  // leaves the earlier pair as it was.
  const bool with_results = !scalars.empty();
  const std::string results_path = gid_results_file_name(mesh_path);
  TextFile out, results;
  RecordBuffers buffers;
  if (!out.create(mesh_path)) return false;
  if (with_results && !results.create(results_path)) {
    out.file().discard();
    return false;
  }
  out.write("# generated by Tavrin\n\n");
  out.write(format("MESH \"%s\" dimension 3 Elemtype Triangle Nnode 3\n", name.c_str()));
  out.write("Coordinates\n");
  write_records(out, buffers, num_nodes > 0 ? num_nodes : 0, 96, [nodes](char* p, int64_t i) {
    const Vec3& v = nodes[i];
    p = put(put_int(p, i + 1), ' ');
    p = put(format_g14(p, v.x), ' ');
    p = put(format_g14(p, v.y), ' ');
    return put(format_g14(p, v.z), '\n');
  });
  out.write("end coordinates\n\n");
  out.write("Elements\n");
  write_records(out, buffers, num_triangles > 0 ? num_triangles : 0, 96,
                [triangles](char* p, int64_t i) {
                  const TriangleRecord& t = triangles[i];
                  p = put(put_int(p, i + 1), ' ');
                  p = put(put_int(p, static_cast<int64_t>(t.a) + 1), ' ');
                  p = put(put_int(p, static_cast<int64_t>(t.b) + 1), ' ');
                  return put(put_int(p, static_cast<int64_t>(t.c) + 1), '\n');
                });
  out.write("end elements\n");
  if (num_lines > 0 && lines) {
    out.write(format("\nMESH \"%s lines\" dimension 3 Elemtype Linear Nnode 2\n", name.c_str()));
    out.write("Coordinates\nend coordinates\n\nElements\n");
    const int64_t first = num_triangles > 0 ? num_triangles : 0;
    write_records(out, buffers, num_lines, 72, [lines, first](char* p, int64_t i) {
      const LineRecord& l = lines[i];
      p = put(put_int(p, first + i + 1), ' ');
      p = put(put_int(p, static_cast<int64_t>(l.a) + 1), ' ');
      return put(put_int(p, static_cast<int64_t>(l.b) + 1), '\n');
    });
    out.write("end elements\n");
  }
  if (!out.close()) {
    results.file().discard();
    return false;
  }
  if (with_results) {
    write_results(results, buffers, results_path, num_nodes, scalars);
    if (!results.close()) {
      out.file().discard();
      return false;
    }
  }
  ReplacingFile* files[2] = {&out.file(), &results.file()};
  if (!commit_together(files, with_results ? 2 : 1)) {
    const ReplacingFile& failed = files[0]->error().empty() ? *files[1] : *files[0];
    log_message(
        format("Unable to replace '%s': %s\n", failed.target().c_str(), failed.error().c_str()));
    return false;
  }
  return true;
}

bool export_gid(const Object& object, const std::string& base_name) {
  const Object& o = object.full ? *object.full : object;
  return write_gid(base_name, o.name, o.num_nodes(), o.nodes.data(), o.num_triangles(),
                   o.triangles.data(), o.num_lines(), o.lines.data(), o.scalars);
}

}  // namespace Tavrin
