// A buffered output file: bytes collect in a 128-byte buffer that goes to the system
// the moment it is full. A failing call leaves its error code in PendingIoCode and
// discards the incomplete file; so does a run that ends while the file is open.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace rdplaunch {

// The input/output code of a write that succeeded but took fewer bytes than it was
// given: a full disk, as the failure box then says.
inline constexpr SystemErrorCode kShortWriteCode = 101;

class OutputStream {
 public:
  static constexpr std::size_t kBufferSize = 128;

  explicit OutputStream(Platform& platform) : platform_(platform) {}
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  void Open(const std::string& path);
  void Put(std::string_view bytes);
  void Close();

 private:
  friend void DiscardFileBeingWritten();
  void Discard();
  void Flush();
  void Fail(SystemErrorCode code);

  Platform& platform_;
  std::string path_;
  FileHandle handle_ = 0;
  bool open_ = false;
  bool created_ = false;
  char buffer_[kBufferSize]{};
  std::size_t fill_ = 0;
};

// Removes the file an output stream is writing, if one is: for the ends of a run that do
// not unwind (a processor fault). Allocates nothing.
void DiscardFileBeingWritten();

}  // namespace rdplaunch
