// rdplaunch-name batch: one JSON request per line in, one JSON answer per line out, so a
// web server keeps one process for all its downloads and no password is ever an argument.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string_view>

#include "hosting/tool_commands.h"

namespace rdplaunch {

inline constexpr std::size_t kMaxRequestBytes = 65536;

// The answer to one request line (without its line end).
Answer AnswerRequest(std::string_view line);

// Answers every line of in on out, each flushed at once, until the end of in. Returns 0,
// or kExitFileError when an answer could not be written.
int RunBatch(std::istream& in, std::ostream& out);

}  // namespace rdplaunch
