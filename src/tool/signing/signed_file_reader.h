// Reading a signed connection file as the client reads it, without cryptography: its exact
// UTF-16 text, the message its signature covers, the signature's DER, and the settings the
// signature leaves out. Whatever a client could read differently from what was signed is
// refused here; rdp_signing.cpp checks the signature itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rdplaunch {

// A real signed file is a few kilobytes; anything larger is refused before it is read.
inline constexpr std::size_t kMaxSignedFileSize = 1 << 20;

struct SignedFileReading {
  std::string refusal;                 // why the file is refused; empty when it reads as a signed file
  std::string message;                 // the bytes the signature covers, UTF-16LE
  std::string der;                     // the signature's CMS structure
  std::vector<std::string> uncovered;  // the names of the settings outside the signature, once each
};

// Takes time linear in the file's size.
SignedFileReading ReadSignedFile(std::string_view fileBytes);

}  // namespace rdplaunch
