// An output file that replaces its target only once it is complete. The
// data goes to a temporary file in the target's folder; only a file that was
// written and closed without error is renamed over the target, so a failed
// write (a full disk, a read-only target, a directory in the way) leaves
// whatever was there before byte for byte as it was and leaves nothing new
// behind. The writers of every output format write through it.
#pragma once

#include <cstdio>
#include <string>

namespace Tavrin {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  // Removes the temporary file when it was not put in place.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Checks that the target can be replaced (it is no directory, and an
  // existing target is writable) and creates the temporary file. False, with
  // the reason in error(), when either fails; nothing is created then.
  bool open(const std::string& target);
  // The stream to write to; null unless open() succeeded and finish() has
  // not run yet.
  FILE* stream() const { return stream_; }
  // Flushes and closes the stream. False, with the reason in error(), when a
  // write or the close failed; the temporary file is then removed.
  bool finish();
  // Renames the finished temporary file over the target. False, with the
  // reason in error(), when the rename fails; the target is then untouched
  // and the temporary file removed.
  bool commit();
  // Closes and removes the temporary file; the target stays as it was.
  void discard();

  const std::string& target() const { return target_; }
  const std::string& error() const { return error_; }

 private:
  friend bool commit_together(ReplacingFile* files[], int count);
  bool fail(const std::string& reason);

  std::string target_;  // the path the data is meant for (a symbolic link resolved)
  std::string temp_;    // empty when there is no temporary file
  std::string error_;
  FILE* stream_ = nullptr;
  bool finished_ = false;
};

// Puts several finished files in place as one: either every target is
// replaced, or, when a rename fails, the targets already replaced get their
// earlier content back and the others stay untouched. False, with the
// reason in the failed file's error(), in that case; every temporary file is
// removed either way.
bool commit_together(ReplacingFile* files[], int count);

}  // namespace Tavrin
