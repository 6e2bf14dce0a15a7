// Opening a PLY file for its header alone: the bytes up to the first line
// whose first word starts with "end_header" are copied, and the header
// parser runs on that copy against the file's true size, so that its size
// checks hold for the whole body while no body byte is read or mapped.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/messages.h"
#include "io/ply_checks.h"
#include "io/ply_file.h"

namespace Tavrin {

namespace {

// A header longer than this is refused rather than copied.
constexpr size_t kMaxHeaderBytes = size_t{64} << 20;

// Whether the line [begin, end) starts, after blanks, with "end_header":
// the header parser stops at such a line (it ends the header or is refused),
// so it never reads past it.
bool stops_header(const char* begin, const char* end) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  return end - begin >= 10 && std::memcmp(begin, "end_header", 10) == 0;
}

}  // namespace

bool PlyFile::open_header(const std::string& path) {
  close();
  header_copy_.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(format("Unable to open file '%s': %s", path.c_str(), strerror(errno)));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool dir = S_ISDIR(st.st_mode);
    ::close(fd);
    return fail(format("Unable to open file '%s': %s", path.c_str(),
                       dir ? "it is a directory" : "not a regular file"));
  }
  const size_t file_size = static_cast<size_t>(st.st_size);
  size_t scanned = 0;  // bytes of complete lines looked at
  bool found = false;
  while (!found && header_copy_.size() < file_size && header_copy_.size() < kMaxHeaderBytes) {
    const size_t have = header_copy_.size();
    const size_t want = std::min<size_t>(65536, file_size - have);
    header_copy_.resize(have + want);
    const ssize_t got = pread(fd, header_copy_.data() + have, want, static_cast<off_t>(have));
    if (got <= 0) {
      const int err = got < 0 ? errno : EIO;
      ::close(fd);
      header_copy_.clear();
      return fail(format("Unable to read file '%s': %s", path.c_str(), strerror(err)));
    }
    header_copy_.resize(have + static_cast<size_t>(got));
    // A file that is no PLY file is refused before its header is looked for.
    if (std::string why = magic_number_error(header_copy_, file_size); have == 0 && !why.empty()) {
      ::close(fd);
      header_copy_.clear();
      return fail(why);
    }
    for (;;) {
      const char* line = header_copy_.data() + scanned;
      const char* stop = header_copy_.data() + header_copy_.size();
      const char* nl = static_cast<const char*>(std::memchr(line, '\n', stop - line));
      if (!nl) break;
      scanned = static_cast<size_t>(nl + 1 - header_copy_.data());
      if (stops_header(line, nl)) {
        found = true;
        break;
      }
    }
  }
  ::close(fd);
  // A header that ends the file without a final newline.
  if (!found && header_copy_.size() == file_size &&
      stops_header(header_copy_.data() + scanned, header_copy_.data() + file_size)) {
    header_copy_.push_back('\n');
    scanned = header_copy_.size();
    found = true;
  }
  if (!found) {
    // The parser says what it would say of the whole file: the first bad
    // line, or the missing 'end_header' at the end of the copy.
    data_ = header_copy_.data();
    size_ = header_copy_.size();
    if (read_header()) fail("Unexpected end of file: the header has no 'end_header'");
    close();
    header_copy_.clear();
    return false;
  }
  header_copy_.resize(scanned);
  data_ = header_copy_.data();
  size_ = file_size;
  const bool ok = read_header();
  // The body is not here: every body read is refused.
  next_element_ = elements_.size();
  return ok;
}

}  // namespace Tavrin
