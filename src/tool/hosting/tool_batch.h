// rdplaunch-name batch: one JSON request per line in, one JSON answer per line out, so a
// web server keeps one process for all its downloads and no password is ever an argument.
#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

#include "hosting/tool_answer.h"

namespace rdplaunch {

inline constexpr std::size_t kMaxRequestBytes = 65536;

// The answer to one request line (without its line end).
Answer AnswerRequest(std::string_view line);

// Answers every line read from the file descriptor input on out, each flushed at once,
// until the end of input. Returns 0; kExitFileError when input could not be read (the
// last answer says why) or an answer could not be written.
int RunBatch(int input, std::ostream& out);

}  // namespace rdplaunch
