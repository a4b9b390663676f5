// The failure-reporting layer. While it is in place every failure that reaches the top
// of the run is shown in one "Application Error" box and the run ends with exit code 1.
// Before it is set up and after it is taken down there is only the fallback: a
// "Runtime error NNN at XXXXXXXX" box and the number as exit code.
#include "failure/failure_reporting.h"

#include <cstdlib>
#include <new>
#include <optional>

#include "failure/failure_text.h"

namespace rdplaunch {

namespace {

enum class FailureLayerState { kNotInPlace, kInPlace, kTakenDown };

FailureLayerState layerState = FailureLayerState::kNotInPlace;
std::optional<EOutOfMemory> premadeOutOfMemory;
Finalizer processValuesFinalizer = nullptr;
Finalizer fileBeingWrittenDiscarder = nullptr;
// Set only on the fallback path; an address of 0 still shows the box.
std::optional<std::uintptr_t> runtimeErrorAddress;
int processExitCode = 0;

constexpr const char kFailureCaption[] = "Application Error";
constexpr unsigned kFailureStyle = kBoxOk | kBoxIconStop | kBoxTaskModal;
constexpr const char kRuntimeErrorCaption[] = "Error";

// The fallback: no failure object, no failure box; the number becomes the exit code.
[[noreturn]] void EndWithRuntimeError(Platform& platform, int number, std::uintptr_t address) {
  runtimeErrorAddress = address;
  EndRun(platform, number);
}

}  // namespace

// The two memory failures are made now, while memory is certainly available, so that
// reporting an exhausted heap never needs the heap.
void SetUpFailureReporting(Finalizer releaseProcessValues, Finalizer discardFileBeingWritten) {
  premadeOutOfMemory.emplace();
  processValuesFinalizer = releaseProcessValues;
  fileBeingWrittenDiscarder = discardFileBeingWritten;
  layerState = FailureLayerState::kInPlace;
}

void TakeDownFailureReporting() {
  if (layerState != FailureLayerState::kInPlace) return;
  layerState = FailureLayerState::kTakenDown;
  fileBeingWrittenDiscarder = nullptr;
  premadeOutOfMemory.reset();
}

const EOutOfMemory& PremadeOutOfMemory() { return *premadeOutOfMemory; }

std::int32_t& PendingIoCode() {
  thread_local std::int32_t code = 0;
  return code;
}

EInOutError MakeIoFailure(std::uintptr_t address) {
  const std::int32_t code = PendingIoCode();
  PendingIoCode() = 0;
  return EInOutError(IoErrorMessage(code), code, address);
}

// The failure is attributed to the point in the caller right after this call, which
// identifies the failing check in the build at hand.
__attribute__((noinline)) void IoCheck() {
  if (PendingIoCode() == 0) return;
  throw MakeIoFailure(reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

void ReportFatalFailure(Platform& platform, const Exception& failure) {
  FailureText text;
  ComposeFailureText(platform, failure.ClassName(), failure.Message(), failure.Address(), text);
  platform.ShowFailureBox(text.bytes, kFailureCaption, kFailureStyle);
  EndRun(platform, kExitFailureBox);
}

void HandleUncaughtFailure(Platform& platform, const Exception& failure) {
  if (layerState == FailureLayerState::kInPlace) ReportFatalFailure(platform, failure);
  EndWithRuntimeError(platform, kRuntimeErrorRaised, failure.Address());
}

void HandleOutOfMemory(Platform& platform) {
  if (layerState == FailureLayerState::kInPlace) ReportFatalFailure(platform, PremadeOutOfMemory());
  EndWithRuntimeError(platform, kRuntimeErrorOutOfMemory, 0);
}

// A processor fault does not unwind, so nothing on the way out removes a half-written
// file: it is discarded here, before the box. The faulting thread may hold any lock,
// the heap's included (a stack overflow leaves it asleep inside the heap, say), so from
// here on nothing allocates or frees: the text is composed without a failure object, and
// the process ends without its finalisation, which frees the process values.
void HandleProcessorFault(Platform& platform, std::uint32_t exceptionCode, std::uintptr_t address) {
  const FaultKind& kind = FaultKindOf(exceptionCode);
  if (layerState != FailureLayerState::kInPlace) EndWithRuntimeError(platform, kind.runtimeErrorNumber, address);
  if (fileBeingWrittenDiscarder != nullptr) fileBeingWrittenDiscarder();
  FailureText text;
  ComposeFailureText(platform, kind.className, kind.message, address, text);
  platform.ShowFailureBox(text.bytes, kFailureCaption, kFailureStyle);
  platform.EndProcessAtOnce(kExitFailureBox);
  std::abort();  // not reached
}

void ShowRuntimeErrorBox(Platform& platform) {
  RuntimeErrorText text;
  FormatRuntimeErrorText(processExitCode, runtimeErrorAddress.value_or(0), text);
  platform.ShowFailureBox(text.bytes, kRuntimeErrorCaption, kBoxOk);
}

// Finalisation runs in the reverse order of the start-up: the process values first,
// then the failure-reporting layer.
void EndRun(Platform& platform, int exitCode) {
  processExitCode = exitCode;
  if (runtimeErrorAddress) {
    ShowRuntimeErrorBox(platform);
    runtimeErrorAddress.reset();
  }
  if (processValuesFinalizer != nullptr) {
    const Finalizer finalizer = processValuesFinalizer;
    processValuesFinalizer = nullptr;
    finalizer();
  }
  TakeDownFailureReporting();
  platform.ExitProcess(processExitCode);
  std::abort();  // not reached: ExitProcess does not return
}

}  // namespace rdplaunch
