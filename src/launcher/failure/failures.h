// The failure classes. Every failure that ends a run is one of these; its class name
// and message are what the failure box shows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rdplaunch {

class Exception {
 public:
  explicit Exception(std::string message, std::uintptr_t address = 0);
  virtual ~Exception() = default;
  virtual const char* ClassName() const { return "Exception"; }
  const std::string& Message() const { return message_; }
  std::uintptr_t Address() const { return address_; }  // the code address the failure is attributed to

 private:
  std::string message_;
  std::uintptr_t address_;
};

class EInOutError : public Exception {
 public:
  EInOutError(std::string message, std::int32_t ioCode, std::uintptr_t address);
  const char* ClassName() const override { return "EInOutError"; }
  std::int32_t IoCode() const { return ioCode_; }

 private:
  std::int32_t ioCode_;
};

class EHeapException : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EHeapException"; }
};

class EOutOfMemory : public EHeapException {
 public:
  EOutOfMemory() : EHeapException("Out of memory") {}
  const char* ClassName() const override { return "EOutOfMemory"; }
};

// A program the launcher needs could not be started.
class EStartError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EStartError"; }
};

// What each kind of processor fault is reported as: the class name the failure box shows
// (EAccessViolation, EDivByZero, EStackOverflow, ...), its message and its run-time error
// number for the fallback box. A fault is reported from these alone, with no failure
// object, since the faulting thread may hold the heap.
struct FaultKind {
  std::uint32_t exceptionCode;
  const char* className;
  const char* message;
  int runtimeErrorNumber;
};

const FaultKind& FaultKindOf(std::uint32_t exceptionCode);

}  // namespace rdplaunch
