// An output file that replaces its target only once it is complete. The
// data goes to a temporary file in the target's folder; only a file that was
// written and closed without error is renamed over the target, so a failed
// write (a full disk, a read-only target, a directory in the way) leaves
// whatever was there before byte for byte as it was and leaves nothing new
// behind. The writers of every output format write through it. A signal that
// ends the run (SIGINT, SIGTERM, SIGHUP) removes the temporary files first,
// and is held back while a group of targets is being replaced.
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
  // existing target is writable) and creates the temporary file. A
  // symbolic link at the target is replaced by the new file, never
  // written through. False, with
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
  // Drops the temporary name (after it was renamed or removed).
  void forget_temp();

  std::string target_;   // the path the data is meant for, as given
  std::string temp_;     // empty when there is no temporary file
  int temp_token_ = -1;  // its registration for removal by an ending signal
  std::string error_;
  FILE* stream_ = nullptr;
  bool finished_ = false;
};

// Whether open(target) would succeed now, without leaving anything behind;
// false with the reason in `why` otherwise. For a program that writes
// several files one after the other and checks every target first.
bool can_replace(const std::string& target, std::string& why);

// Puts several finished files in place as one: either every target is
// replaced, or, when a rename fails, the targets already replaced get their
// earlier content back and the others stay untouched. False, with the
// reason in the failed file's error(), in that case; every temporary file is
// removed either way. The ending signals wait until the group is done.
bool commit_together(ReplacingFile* files[], int count);

}  // namespace Tavrin
