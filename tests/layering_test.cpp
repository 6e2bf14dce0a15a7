// Every `#include "…"` of the source folders must follow the dependency table
// of the project (README, developer section): dependencies point downwards
// only, so that the core builds without the viewer and each folder can be
// read knowing what it may touch. The test reads the sources as text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Folder → the folders its files may include (its own always allowed).
// A folder is the first path component, except app/viewer, app/tools and
// app/tools/viewer, which are shells of their own.
const std::map<std::string, std::set<std::string>>& allowed() {
  static const std::set<std::string> core = {"base", "tables",   "hashuc", "mesh",
                                             "io",   "simplify", "octree"};
  static const std::map<std::string, std::set<std::string>> table = [] {
    std::map<std::string, std::set<std::string>> t;
    t["base"] = {};
    t["tables"] = {"base"};
    t["hashuc"] = {"base", "tables"};  // plus the handler interface, below
    t["mesh"] = {"base", "tables", "hashuc"};
    t["io"] = {"base", "mesh"};
    t["simplify"] = {"base", "hashuc", "mesh"};
    t["octree"] = {"base", "hashuc", "tables", "mesh"};
    // The library's public header (include/tavrin/) is included as
    // "tavrin/…": the library's calls over the core, and the Python module
    // over the header alone.
    t["api"] = core;
    t["api"].insert("tavrin");
    t["python"] = {"tavrin"};
    t["app"] = core;
    t["app/tools"] = core;
    t["app/tools"].insert("app");
    t["render"] = core;
    t["shaders"] = core;
    t["shaders"].insert("render");
    t["ui"] = t["shaders"];
    t["ui"].insert("shaders");
    t["app/viewer"] = t["ui"];
    t["app/viewer"].insert({"ui", "app"});
    t["app/tools/viewer"] = t["app/viewer"];
    t["app/tools/viewer"].insert("app/viewer");
    return t;
  }();
  return table;
}

// Single files a folder may include outside its table.
bool allowed_exception(const std::string& from_file, const std::string& included) {
  // The handlers implement the interface the driver calls them through.
  if (included == "simplify/handler_interface.h" || included == "simplify/simp_type.h")
    return from_file.rfind("hashuc/", 0) == 0;
  // The entry chooses between the batch run and the viewer.
  if (included == "app/viewer/viewer_main.h") return from_file == "app/entry.cpp";
  return false;
}

std::string folder_of(const std::string& path) {
  for (const char* shell : {"app/tools/viewer/", "app/viewer/", "app/tools/"})
    if (path.rfind(shell, 0) == 0) return std::string(shell, std::string(shell).size() - 1);
  return path.substr(0, path.find('/'));
}

// The violations of the table among the given files (paths relative to root).
std::vector<std::string> violations(const fs::path& root, const std::vector<std::string>& files) {
  static const std::regex include_line(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<std::string> found;
  for (const std::string& file : files) {
    const std::string from = folder_of(file);
    const auto rule = allowed().find(from);
    std::ifstream in(root / file);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      std::smatch m;
      if (!std::regex_search(line, m, include_line)) continue;
      const std::string included = m[1];
      if (included.find('/') == std::string::npos) continue;  // generated or system-like
      const std::string to = folder_of(included);
      const bool ok = to == from || (rule != allowed().end() && rule->second.count(to)) ||
                      allowed_exception(file, included);
      if (!ok) found.push_back(file + ":" + std::to_string(number) + " includes " + included);
    }
  }
  return found;
}

std::vector<std::string> source_files(const fs::path& root) {
  std::vector<std::string> files;
  for (const auto& folder : allowed()) {
    if (folder.first.find('/') != std::string::npos) continue;  // walked with its parent
    const fs::path dir = root / folder.first;
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".h" || ext == ".cpp"))
        files.push_back(fs::relative(e.path(), root).generic_string());
    }
  }
  return files;
}

fs::path repo_root() {
  return fs::path(Tavrin::test::data_path("bunny.ply")).parent_path().parent_path().parent_path();
}

TEST(Layering, EveryIncludeFollowsTheDependencyTable) {
  const fs::path root = repo_root();
  const std::vector<std::string> files = source_files(root);
  ASSERT_GT(files.size(), 50u) << root;
  const std::vector<std::string> bad = violations(root, files);
  for (const std::string& b : bad) ADD_FAILURE() << b;
}

// The checker itself: wrong includes planted in a scratch tree are found,
// right ones are not.
TEST(Layering, PlantedWrongIncludesAreFound) {
  const fs::path root = Tavrin::test::temp_dir("layering");
  auto plant = [&](const std::string& file, const std::string& text) {
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << text;
  };
  plant("io/a.cpp", "#include \"app/globals.h\"\n#include \"mesh/object.h\"\n");
  plant("tables/b.h", "  #  include \"hashuc/grid.h\"\n#include \"base/timer.h\"\n");
  plant("render/c.cpp", "#include \"ui/menu.h\"\n#include \"octree/octree.h\"\n");
  plant("app/d.cpp", "#include \"app/viewer/status_bar.h\"\n");
  plant("hashuc/e.h",
        "#include \"simplify/handler_interface.h\"\n#include \"simplify/driver.h\"\n");
  const std::vector<std::string> bad =
      violations(root, {"io/a.cpp", "tables/b.h", "render/c.cpp", "app/d.cpp", "hashuc/e.h"});
  const std::vector<std::string> expected = {
      "io/a.cpp:1 includes app/globals.h", "tables/b.h:1 includes hashuc/grid.h",
      "render/c.cpp:1 includes ui/menu.h", "app/d.cpp:1 includes app/viewer/status_bar.h",
      "hashuc/e.h:2 includes simplify/driver.h"};
  EXPECT_EQ(bad, expected);
}

}  // namespace
