// ReplacingFile: a temporary file beside the target, renamed over it when
// complete. A rename within one folder replaces the target in one step, so
// readers see either the old or the new file, never a part of one.
#include "io/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "io/signal_cleanup.h"

namespace Tavrin {

namespace {

// Permission bits a file created by fopen would get.
mode_t default_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// "dir/.name.XXXXXX" for mkstemp; the name part is shortened so that the
// temporary name stays within the length a folder entry may have.
std::string temp_template(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  constexpr size_t kMaxName = 200;
  if (name.size() > kMaxName) name.resize(kMaxName);
  return dir + "." + name + ".XXXXXX";
}

}  // namespace

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::fail(const std::string& reason) {
  error_ = reason;
  discard();
  return false;
}

bool ReplacingFile::open(const std::string& target) {
  discard();
  target_ = target;
  error_.clear();
  finished_ = false;
  if (target.empty()) return fail(strerror(ENOENT));

  // A symbolic link at the target is replaced itself, never written
  // through: the file it names may lie anywhere and belong to anyone. The
  // link's target only decides, as a plain file's type would, whether the
  // name is meant for output at all (a link to a folder or a device is
  // reported and left alone).
  mode_t mode = default_mode();
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) {
    const bool link = S_ISLNK(st.st_mode);
    struct stat named;
    const bool dangling = link && stat(target.c_str(), &named) != 0;
    if (link && !dangling) st = named;
    if (!dangling) {
      // Only a regular file is replaced: a folder or a device of that name
      // is reported and left alone.
      if (S_ISDIR(st.st_mode)) return fail(strerror(EISDIR));
      if (!S_ISREG(st.st_mode)) return fail("it is not a regular file");
    }
    if (!link) {
      // A file the user may not write keeps its content: renaming over it
      // would get round its protection.
      if (access(target.c_str(), W_OK) != 0) return fail(strerror(errno));
      mode = st.st_mode & 07777;
    }
  } else if (errno != ENOENT) {
    return fail(strerror(errno));
  }

  std::string name = temp_template(target_);
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  int fd = -1;
  {
    // No signal between creating the file and registering it for removal.
    SignalDeferral deferral;
    fd = mkstemp(buffer.data());
    if (fd >= 0) {
      temp_ = buffer.data();
      temp_token_ = register_temp_file(temp_);
    }
  }
  if (fd < 0) return fail(strerror(errno));
  if (fchmod(fd, mode) != 0) {
    const int e = errno;
    ::close(fd);
    return fail(strerror(e));
  }
  stream_ = fdopen(fd, "wb");
  if (!stream_) {
    const int e = errno;
    ::close(fd);
    return fail(strerror(e));
  }
  return true;
}

bool ReplacingFile::finish() {
  if (!stream_) return fail(error_.empty() ? strerror(EBADF) : error_);
  errno = 0;
  const bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
  const int write_error = errno;
  const bool closed = std::fclose(stream_) == 0;
  const int close_error = errno;
  stream_ = nullptr;
  if (!written) return fail(strerror(write_error ? write_error : EIO));
  if (!closed) return fail(strerror(close_error ? close_error : EIO));
  finished_ = true;
  return true;
}

bool ReplacingFile::commit() {
  ReplacingFile* self = this;
  return commit_together(&self, 1);
}

void ReplacingFile::discard() {
  if (stream_) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    forget_temp();
  }
  finished_ = false;
}

void ReplacingFile::forget_temp() {
  unregister_temp_file(temp_token_);
  temp_token_ = -1;
  temp_.clear();
}

bool can_replace(const std::string& target, std::string& why) {
  ReplacingFile file;
  if (file.open(target)) return true;
  why = file.error();
  return false;
}

bool commit_together(ReplacingFile* files[], int count) {
  // An interrupt now would leave some targets replaced and others not.
  SignalDeferral deferral;
  for (int i = 0; i < count; ++i)
    if (!files[i]->finished_ || files[i]->temp_.empty()) {
      if (files[i]->error_.empty()) files[i]->error_ = "the file was not completely written";
      for (int j = 0; j < count; ++j) files[j]->discard();
      return false;
    }

  // A second name for every target that exists, so that it can be put back
  // when a later rename of the group fails. Without hard links (some file
  // systems) the group cannot be undone, but a rename within one folder
  // after a complete write hardly ever fails.
  std::vector<std::string> backups(count);
  std::vector<bool> existed(count, false);
  for (int i = 0; i < count; ++i) {
    struct stat st;
    existed[i] = lstat(files[i]->target_.c_str(), &st) == 0;
    const std::string backup = files[i]->temp_ + ".old";
    if (existed[i] && link(files[i]->target_.c_str(), backup.c_str()) == 0) backups[i] = backup;
  }

  int failed = -1;
  for (int i = 0; i < count && failed < 0; ++i) {
    ReplacingFile& f = *files[i];
    if (rename(f.temp_.c_str(), f.target_.c_str()) != 0) {
      f.error_ = strerror(errno);
      failed = i;
    } else {
      f.forget_temp();
      f.finished_ = false;
    }
  }
  if (failed >= 0) {
    // Undo the renames done so far: the old file back, or no file where
    // there was none.
    for (int i = 0; i < failed; ++i) {
      if (!backups[i].empty()) {
        if (rename(backups[i].c_str(), files[i]->target_.c_str()) == 0) backups[i].clear();
      } else if (!existed[i]) {
        unlink(files[i]->target_.c_str());
      }
    }
    for (int i = 0; i < count; ++i) files[i]->discard();
  }
  for (const std::string& backup : backups)
    if (!backup.empty()) unlink(backup.c_str());
  return failed < 0;
}

}  // namespace Tavrin
