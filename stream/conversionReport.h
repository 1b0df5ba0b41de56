// What a run tells as it goes and at its end, as values: each front end puts
// them in its own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fileError.h"

namespace streamConversion {

// Whose the problem is.
enum class Side {
  Input,   // reading or converting the text
  Output,  // writing the result, or reaching the folder it goes to
};

// One input that could not be converted. The other inputs are still
// converted, unless it stops the run.
struct Failure {
  std::size_t input = 0;  // its index among the run's sources
  Side side = Side::Input;
  // What failed: the input, the file written or the destination folder;
  // empty for a descriptor.
  std::string path;
  textFiles::Problem problem;
  // Nothing more is converted: the descriptor written to failed, or the
  // destination folder cannot be reached.
  bool stopsTheRun = false;
};

// Told, on the thread that runs the conversion, how the run goes.
class Observer {
 public:
  virtual ~Observer() = default;
  // Bytes of the input read so far.
  virtual void Read(std::size_t input, std::uint64_t bytes);
  // The input is read to its end, or given up.
  virtual void InputRead(std::size_t input);
  virtual void Failed(const Failure& failure);
};

struct Outcome {
  std::size_t failed = 0;  // inputs that failed
  // The run stopped for lack of memory; every file it was writing is left as
  // it was, and the descriptor gets nothing more.
  bool outOfMemory = false;

  bool Succeeded() const { return failed == 0 && !outOfMemory; }
};

}  // namespace streamConversion
