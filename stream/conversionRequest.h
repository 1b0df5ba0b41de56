// What a run converts: texts from files or descriptors, and where each
// result goes.
#pragma once

#include <string>
#include <utility>

namespace streamConversion {

// Where a text comes from: a file by its path, or a descriptor (such as
// standard input) read to its end, which stays open.
struct Source {
  std::string path;  // empty for a descriptor
  int fd = -1;

  static Source File(std::string path) { return {std::move(path), -1}; }
  static Source Descriptor(int fd) { return {{}, fd}; }
  bool IsDescriptor() const { return path.empty(); }
};

// Where the results go.
struct Destination {
  enum class Kind {
    // Written to fd, one text after another, which stays open. Nothing of a
    // text is written until its first 4 MiB are converted, so that a fault
    // found in them leaves nothing written.
    Descriptor,
    // Into the file at path (one source), replaced all at once.
    File,
    // Each text into the folder at path, under its source's own name, each
    // replaced all at once.
    Folder,
    // Each source file replaced all at once by its result.
    InPlace,
  };

  Kind kind = Kind::Descriptor;
  int fd = -1;
  std::string path;  // the file or the folder

  static Destination ToDescriptor(int fd) { return {Kind::Descriptor, fd, {}}; }
  static Destination ToFile(std::string path) { return {Kind::File, -1, std::move(path)}; }
  static Destination IntoFolder(std::string path) { return {Kind::Folder, -1, std::move(path)}; }
  static Destination InPlace() { return {Kind::InPlace, -1, {}}; }
};

// The path of the file that a source's result is written to: empty for a
// descriptor, and for a source with no name to be written under.
std::string TargetPath(const Destination& destination, const Source& source);

}  // namespace streamConversion
