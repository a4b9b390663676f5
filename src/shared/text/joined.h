// A string made of pieces put one after another. GCC 12 at -O3 takes a literal put before
// a string with + for an overlapping copy (a -Wrestrict warning, an error under -Werror);
// appending each piece never takes that path, so texts that start with a literal are
// built here.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace rdplaunch {

inline std::string Joined(std::initializer_list<std::string_view> pieces) {
  std::string joined;
  for (std::string_view piece : pieces) joined.append(piece);
  return joined;
}

}  // namespace rdplaunch
