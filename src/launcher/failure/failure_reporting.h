// What happens when a run fails or ends: the failure-reporting layer, the pending
// input/output error code, the failure box, the fallback box and the end of the process.
#pragma once

#include <cstdint>

#include "failure/failures.h"
#include "platform/platform.h"

namespace rdplaunch {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailureBox = 1;
inline constexpr int kExitNameNotValid = 2;
inline constexpr int kRuntimeErrorRaised = 217;
inline constexpr int kRuntimeErrorOutOfMemory = 203;

using Finalizer = void (*)();

void SetUpFailureReporting(Finalizer releaseProcessValues, Finalizer discardFileBeingWritten = nullptr);
void TakeDownFailureReporting();
const EOutOfMemory& PremadeOutOfMemory();

std::int32_t& PendingIoCode();
EInOutError MakeIoFailure(std::uintptr_t address);
void IoCheck();

[[noreturn]] void ReportFatalFailure(Platform& platform, const Exception& failure);
[[noreturn]] void HandleUncaughtFailure(Platform& platform, const Exception& failure);
[[noreturn]] void HandleOutOfMemory(Platform& platform);
[[noreturn]] void HandleProcessorFault(Platform& platform, std::uint32_t exceptionCode, std::uintptr_t address);
[[noreturn]] void EndRun(Platform& platform, int exitCode);
void ShowRuntimeErrorBox(Platform& platform);

}  // namespace rdplaunch
