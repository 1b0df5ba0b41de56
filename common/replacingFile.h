// Replacing a file all at once: the new contents go to a temporary file beside
// the target, which takes the target's place only once everything is written
// and on the disk. Until then, and after any failure, the target is exactly
// as it was. Plain POSIX, shared by the window's Save and pokopen-convert.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace replacingFile {

class ReplacingFile {
 public:
  // Prepares to replace `target`, a regular file or a name not yet taken. A
  // symbolic link stays a link: the file it points to is replaced. The new
  // file gets an existing target's owner and permission bits (as far as the
  // system allows), or those open(2) gives a new file. Only a target the user
  // may write is replaced, although its folder would allow it. Throws
  // std::system_error with the errno of the call that failed.
  explicit ReplacingFile(std::string_view target);
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  // Removes the temporary file unless Commit succeeded.
  ~ReplacingFile();

  void Write(std::string_view bytes);
  // Puts the written file in the target's place. Throws std::system_error.
  void Commit();
  // Removes the temporary file; the target stays as it was.
  void Discard() noexcept;

  const std::string& TemporaryPath() const { return temporary_; }

 private:
  std::string target_;
  std::string temporary_;  // empty once committed or discarded
  int descriptor_ = -1;
};

// The folder part of a path ("." for a bare name, "/" for the root's files).
std::string FolderOf(std::string_view path);

}  // namespace replacingFile
