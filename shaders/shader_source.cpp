// Shader source lookup: working directory, then the program's directory.
#include "shaders/shader_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace Tavrin {

namespace {

bool is_regular_file(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The whole file; empty on any read failure.
std::string read_whole(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return failed ? std::string() : text;
}

}  // namespace

std::string program_directory() {
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string exe(path, size_t(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

ShaderSource read_shader_source(const std::string& file, const std::string& program_dir) {
  ShaderSource source;
  // The working directory's copy is named by its full path, so the error
  // text says where it was looked for.
  char cwd[4096];
  if (!file.empty() && file[0] != '/' && getcwd(cwd, sizeof cwd))
    source.places.push_back(std::string(cwd) + (cwd[1] ? "/" : "") + file);
  else
    source.places.push_back(file);
  if (!file.empty() && file[0] != '/' && !program_dir.empty()) {
    std::string beside = program_dir + (program_dir.back() == '/' ? "" : "/") + file;
    if (beside != source.places[0]) source.places.push_back(beside);
  }
  for (const std::string& place : source.places) {
    if (!is_regular_file(place)) continue;
    source.path = place;
    source.text = read_whole(place);
    break;
  }
  return source;
}

}  // namespace Tavrin
