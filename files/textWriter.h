// The one writer of text files, for the window and pokopen-convert alike. A
// regular file is replaced all at once: the new text goes to an unnamed file
// in the target's folder, which gets the target's name only once it is
// complete and on the disk, so that however the program ends, the target is
// either as it was or wholly new, and no temporary file is left behind.
// Failures are thrown as textFiles::FileError.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <string_view>

#include "fileError.h"
#include "fileSystem.h"
#include "temporaryNames.h"
#include "textEncoding.h"

namespace textFiles {

struct WriteOptions {
  // Refuse anything but a regular file or a new name (the window)...
  bool regularFilesOnly = false;
  // ...or, with this, a name that stands for a descriptor, or a character
  // device such as /dev/null (pokopen-convert).
  bool descriptorNames = false;
};

class FileWriter {
 public:
  // Prepares to write target. A regular file or a new name is replaced all at
  // once, keeping an existing file's permissions, group and (where the system
  // allows) owner; a symbolic link stays a link and the file it names is
  // written, made where it does not exist yet. A name that stands for a
  // descriptor of this program (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is
  // written through that descriptor, and an existing device or pipe directly.
  // Only a file that the user may write is replaced.
  FileWriter(const std::string& target, const WriteOptions& options);
  // Writes straight to fd, which stays open.
  explicit FileWriter(int fd);
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;
  // Without Commit, the target stays as it was.
  ~FileWriter();

  void Write(std::string_view bytes);
  // Puts the written file in the target's place.
  void Commit();

 private:
  static void RefuseFolderNames(const std::string& target);
  void Resolve(const std::string& target);
  void OpenDirectly(const WriteOptions& options);
  void CreateUnnamed();
  void CreateNamedTemporary();
  void TakeOverAttributes();
  void Discard() noexcept;
  void GiveName();

  fileSystem::Descriptor folder_;  // holds the file written
  std::string name_;               // its name there
  std::optional<struct stat> existing_;
  fileSystem::Descriptor file_;  // the new contents, or an opened device
  std::string temporaryName_;    // of a named temporary file, where unnamed ones fail
  int direct_ = -1;              // written directly, not replaced
  bool committed_ = false;
};

}  // namespace textFiles
