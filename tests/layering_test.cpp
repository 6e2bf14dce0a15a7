// Every include of the source folders must follow the dependency table in
// docs/ARCHITECTURE.md, read from there: dependencies point downwards only,
// so that the core builds without the viewer and each folder can be read
// knowing what it may touch. Our own headers are checked however they are
// written ("…" or <…>), the graphics and toolkit libraries only where the
// table names them, and a source folder the table does not name fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct Rule {
  std::set<std::string> folders;    // folders of ours it may include (its own always)
  std::set<std::string> files;      // single files outside those
  std::set<std::string> libraries;  // system libraries by name
};

struct Table {
  std::map<std::string, Rule> rules;  // folder ("app/tools") → rule
  std::string error;                  // why the table could not be read
};

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  const size_t e = s.find_last_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string item;
  while (std::getline(in, item, sep)) out.push_back(trim(item));
  return out;
}

// Reads the table under "## Who may include whom": rows
// | `folder/` | holds | `a/`, `b/file.h` or everything | Lib, Lib |
Table read_table(const std::string& markdown) {
  Table t;
  std::stringstream in(markdown);
  std::string line;
  bool inside = false;
  std::vector<std::pair<std::string, std::string>> may;  // folder → may-include text
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inside = line == "## Who may include whom";
    if (!inside || line.rfind("| `", 0) != 0) continue;
    const std::vector<std::string> cells = split(line.substr(1), '|');
    if (cells.size() < 4) {
      t.error = "row with fewer than four columns: " + line;
      return t;
    }
    std::string folder = cells[0];
    folder.erase(std::remove(folder.begin(), folder.end(), '`'), folder.end());
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    Rule& rule = t.rules[folder];
    for (const std::string& lib : split(cells[3], ','))
      if (!lib.empty()) rule.libraries.insert(lib);
    may.emplace_back(folder, cells[2]);
  }
  if (t.rules.empty()) t.error = "no table under '## Who may include whom'";
  for (const auto& [folder, text] : may) {
    Rule& rule = t.rules[folder];
    if (trim(text) == "everything") {
      for (const auto& r : t.rules) rule.folders.insert(r.first);
      continue;
    }
    for (std::string item : split(text, ',')) {
      item.erase(std::remove(item.begin(), item.end(), '`'), item.end());
      if (item.empty()) continue;
      if (item.back() == '/') {
        item.pop_back();
        rule.folders.insert(item);
      } else {
        rule.files.insert(item);
      }
    }
  }
  return t;
}

// The folder a path belongs to: the longest folder of the table that starts
// it (app/tools/viewer before app/tools before app), else its first component.
std::string folder_of(const Table& t, const std::string& path) {
  std::string best;
  for (const auto& r : t.rules)
    if (path.rfind(r.first + "/", 0) == 0 && r.first.size() > best.size()) best = r.first;
  return best.empty() ? path.substr(0, path.find('/')) : best;
}

// The library a system header belongs to, or "" for the standard C, C++ and
// POSIX headers, which any folder may include.
std::string library_of(const std::string& header) {
  static const std::vector<std::pair<std::string, std::string>> prefixes = {
      {"GL/glew.h", "GLEW"},     {"GL/glu.h", "GLU"},      {"GL/", "OpenGL"},
      {"FL/", "FLTK"},           {"X11/", "X11"},          {"stb/", "stb"},
      {"omp.h", "OpenMP"},       {"gtest/", "GoogleTest"}, {"gmock/", "GoogleTest"},
      {"pybind11/", "pybind11"}, {"Python.h", "pybind11"}, {"meshoptimizer.h", "meshoptimizer"}};
  for (const auto& [prefix, lib] : prefixes)
    if (header.rfind(prefix, 0) == 0) return lib;
  return "";
}

// The violations of the table among the given files (paths relative to root).
std::vector<std::string> violations(const Table& t, const fs::path& root,
                                    const std::vector<std::string>& files) {
  static const std::regex include_line(R"re(^\s*#\s*include\s*([<"])([^>"]+)[>"])re");
  std::set<std::string> ours;
  for (const auto& r : t.rules) ours.insert(r.first.substr(0, r.first.find('/')));
  std::vector<std::string> found;
  for (const std::string& file : files) {
    const std::string from = folder_of(t, file);
    const auto rule = t.rules.find(from);
    std::ifstream in(root / file);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      std::smatch m;
      if (!std::regex_search(line, m, include_line)) continue;
      const std::string included = m[2];
      const size_t slash = included.find('/');
      const bool own = slash != std::string::npos && ours.count(included.substr(0, slash));
      const std::string where = file + ":" + std::to_string(number) + " includes " + included;
      if (rule == t.rules.end()) {
        found.push_back(where + " (folder " + from + " is not in the table)");
        break;
      }
      if (own) {
        const std::string to = folder_of(t, included);
        if (to != from && !rule->second.folders.count(to) && !rule->second.files.count(included))
          found.push_back(where);
      } else if (m[1] == "<") {
        const std::string lib = library_of(included);
        if (!lib.empty() && !rule->second.libraries.count(lib))
          found.push_back(where + " (" + lib + ")");
      }
    }
  }
  return found;
}

// Every .h/.cpp under root, outside the build trees and hidden folders.
std::vector<std::string> source_files(const fs::path& root) {
  std::vector<std::string> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory() && (name.rfind("build", 0) == 0 || name[0] == '.')) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string ext = it->path().extension().string();
    if (it->is_regular_file() && (ext == ".h" || ext == ".cpp"))
      files.push_back(fs::relative(it->path(), root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path repo_root() {
  return fs::path(Tavrin::test::data_path("bunny.ply")).parent_path().parent_path().parent_path();
}

TEST(Layering, EveryIncludeFollowsTheDependencyTable) {
  const fs::path root = repo_root();
  const Table t = read_table(read_file(root / "docs" / "ARCHITECTURE.md"));
  ASSERT_EQ(t.error, "");
  ASSERT_GE(t.rules.size(), 14u);
  const std::vector<std::string> files = source_files(root);
  ASSERT_GT(files.size(), 50u) << root;
  for (const std::string& b : violations(t, root, files)) ADD_FAILURE() << b;
}

// The checker itself, on the real table: wrong includes planted in a scratch
// tree are found, right ones are not.
TEST(Layering, PlantedWrongIncludesAreFound) {
  const Table t = read_table(read_file(repo_root() / "docs" / "ARCHITECTURE.md"));
  ASSERT_EQ(t.error, "");
  const fs::path root = Tavrin::test::temp_dir("layering");
  std::vector<std::string> files;
  auto plant = [&](const std::string& file, const std::string& text) {
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << text;
    files.push_back(file);
  };
  plant("io/a.cpp", "#include \"app/globals.h\"\n#include \"mesh/object.h\"\n");
  plant("io/b.cpp", "#include <app/globals.h>\n#include <vector>\n#include <omp.h>\n");
  plant("tables/c.h", "  #  include \"hashuc/grid.h\"\n#include \"base/timer.h\"\n");
  plant("render/d.cpp", "#include \"ui/menu.h\"\n#include <GL/glew.h>\n#include <FL/Fl.H>\n");
  plant("mesh/e.cpp", "#include <GL/gl.h>\n");
  plant("app/f.cpp",
        "#include \"app/viewer/status_bar.h\"\n#include \"app/viewer/viewer_main.h\"\n");
  plant("hashuc/g.h", "#include \"hashuc/handler_interface.h\"\n#include \"simplify/driver.h\"\n");
  plant("newfolder/h.cpp", "#include \"base/timer.h\"\n");
  const std::vector<std::string> expected = {
      "io/a.cpp:1 includes app/globals.h",
      "io/b.cpp:1 includes app/globals.h",
      "tables/c.h:1 includes hashuc/grid.h",
      "render/d.cpp:1 includes ui/menu.h",
      "render/d.cpp:3 includes FL/Fl.H (FLTK)",
      "mesh/e.cpp:1 includes GL/gl.h (OpenGL)",
      "app/f.cpp:1 includes app/viewer/status_bar.h",
      "hashuc/g.h:2 includes simplify/driver.h",
      "newfolder/h.cpp:1 includes base/timer.h (folder newfolder is not in the table)"};
  EXPECT_EQ(violations(t, root, files), expected);
}

}  // namespace
