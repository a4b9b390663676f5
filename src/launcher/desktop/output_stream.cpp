// The buffered output file behind the connection file writer.
#include "desktop/output_stream.h"

#include <cstring>

#include "failure/failure_reporting.h"

namespace rdplaunch {

namespace {

// The stream whose file is open, if any: the launcher writes one file at a time.
OutputStream* streamBeingWritten = nullptr;

}  // namespace

void DiscardFileBeingWritten() {
  if (streamBeingWritten != nullptr) streamBeingWritten->Discard();
}

// A stream still open here is one whose writing was abandoned by a failure elsewhere:
// the incomplete file goes.
OutputStream::~OutputStream() {
  if (open_) Discard();
}

// CREATE_ALWAYS: an existing file of that name is replaced, never appended to.
void OutputStream::Open(const std::string& path) {
  path_ = path;
  fill_ = 0;
  const SystemErrorCode code = platform_.CreateFileForWriting(path_, handle_);
  if (code != 0) return Fail(code);  // nothing was created, so nothing is discarded
  open_ = true;
  created_ = true;
  streamBeingWritten = this;
}

// The buffer goes out the moment it is full, often in the middle of a line. After a
// failed write the rest of this piece is dropped.
void OutputStream::Put(std::string_view bytes) {
  if (PendingIoCode() != 0) return;
  while (kBufferSize - fill_ <= bytes.size()) {
    const std::size_t room = kBufferSize - fill_;
    std::memcpy(buffer_ + fill_, bytes.data(), room);
    bytes.remove_prefix(room);
    fill_ = kBufferSize;
    Flush();
    if (PendingIoCode() != 0) return;
  }
  std::memcpy(buffer_ + fill_, bytes.data(), bytes.size());
  fill_ += bytes.size();
}

void OutputStream::Flush() {
  std::size_t written = 0;
  SystemErrorCode code = platform_.WriteFile(handle_, buffer_, fill_, written);
  if (code == 0 && written != fill_) code = kShortWriteCode;
  fill_ = 0;
  if (code != 0) Fail(code);
}

// The rest of the buffer goes in one call; the handle is closed only when that worked.
void OutputStream::Close() {
  if (!open_) return;
  if (fill_ > 0) {
    Flush();
    if (PendingIoCode() != 0) return;
  }
  open_ = false;
  const SystemErrorCode code = platform_.CloseFile(handle_);
  if (code != 0) return Fail(code);
  created_ = false;  // complete: no longer this stream's to remove
  if (streamBeingWritten == this) streamBeingWritten = nullptr;
}

// A file that could not be written completely must not stay behind for the user to
// open later: it is closed and removed before the failure is raised.
void OutputStream::Fail(SystemErrorCode code) {
  PendingIoCode() = static_cast<std::int32_t>(code);
  Discard();
}

// Closes the handle if it is still open and removes the file this stream created.
void OutputStream::Discard() {
  if (open_) {
    open_ = false;
    platform_.CloseFile(handle_);
  }
  if (created_) {
    created_ = false;
    platform_.RemoveFile(path_);
  }
  fill_ = 0;
  if (streamBeingWritten == this) streamBeingWritten = nullptr;
}

}  // namespace rdplaunch
