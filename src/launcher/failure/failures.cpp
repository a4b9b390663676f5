// Failure classes and the table of processor faults.
#include "failure/failures.h"

#include <array>
#include <utility>

namespace rdplaunch {

Exception::Exception(std::string message, std::uintptr_t address) : message_(std::move(message)), address_(address) {}

EInOutError::EInOutError(std::string message, std::int32_t ioCode, std::uintptr_t address)
    : Exception(std::move(message), address), ioCode_(ioCode) {}

namespace {

// System exception codes and what they are reported as. The fallback numbers follow
// the usual run-time error numbering (200 division, 215 overflow, 216 access, ...).
constexpr std::array kFaultKinds{
    FaultKind{0xC0000094, "EDivByZero", "Division by zero", 200},
    FaultKind{0xC000008C, "ERangeError", "Range check error", 201},
    FaultKind{0xC00000FD, "EStackOverflow", "Stack overflow", 202},
    FaultKind{0xC0000095, "EIntOverflow", "Integer overflow", 215},
    FaultKind{0xC0000005, "EAccessViolation", "Access violation", 216},
    FaultKind{0xC000008E, "EZeroDivide", "Floating point division by zero", 200},
    FaultKind{0xC0000090, "EInvalidOp", "Invalid floating point operation", 207},
    FaultKind{0xC000008D, "EInvalidOp", "Invalid floating point operation", 207},
    FaultKind{0xC000008F, "EInvalidOp", "Invalid floating point operation", 207},
    FaultKind{0xC0000092, "EInvalidOp", "Invalid floating point operation", 207},
    FaultKind{0xC0000091, "EOverflow", "Floating point overflow", 205},
    FaultKind{0xC0000093, "EUnderflow", "Floating point underflow", 206},
    FaultKind{0xC0000096, "EPrivilege", "Privileged instruction", 218},
    FaultKind{0xC000001D, "EPrivilege", "Illegal instruction", 218},
    FaultKind{0xC0000006, "EInPageError", "In-page error", 216},
};

constexpr FaultKind kOtherFault{0, "EExternalException", "External exception", 255};

}  // namespace

const FaultKind& FaultKindOf(std::uint32_t exceptionCode) {
  for (const FaultKind& kind : kFaultKinds) {
    if (kind.exceptionCode == exceptionCode) return kind;
  }
  return kOtherFault;
}

}  // namespace rdplaunch
