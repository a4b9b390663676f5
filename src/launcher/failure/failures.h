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

class EInvalidPointer : public EHeapException {
 public:
  EInvalidPointer() : EHeapException("Invalid pointer operation") {}
  const char* ClassName() const override { return "EInvalidPointer"; }
};

// A program the launcher needs could not be started.
class EStartError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EStartError"; }
};

// What each kind of processor fault becomes: the class derived from EExternal that
// names it, its message and its run-time error number for the fallback box.
struct FaultKind {
  std::uint32_t exceptionCode;
  const char* className;
  const char* message;
  int runtimeErrorNumber;
};

const FaultKind& FaultKindOf(std::uint32_t exceptionCode);

// A processor fault turned into a failure; ClassName() is that of the fault's kind
// (EAccessViolation, EDivByZero, EStackOverflow, ...).
class EExternal : public Exception {
 public:
  EExternal(const FaultKind& kind, std::uintptr_t address);
  const char* ClassName() const override { return kind_->className; }
  std::uint32_t ExceptionCode() const { return kind_->exceptionCode; }

 private:
  const FaultKind* kind_;
};

EExternal MakeFaultFailure(std::uint32_t exceptionCode, std::uintptr_t address);

}  // namespace rdplaunch
