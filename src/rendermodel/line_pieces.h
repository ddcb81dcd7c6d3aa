#pragma once

#include <string_view>

namespace vantrels {

// The whitespace that separates the pieces of an OBJ or MTL line.
inline bool IsModelSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Takes the next whitespace-separated piece off the front of `rest`; an empty result means the line
// has no further piece.
inline std::string_view NextPiece(std::string_view &rest) {
  std::size_t start = 0;
  while (start < rest.size() && IsModelSpace(rest[start])) ++start;
  std::size_t stop = start;
  while (stop < rest.size() && !IsModelSpace(rest[stop])) ++stop;
  const std::string_view piece = rest.substr(start, stop - start);
  rest.remove_prefix(stop);
  return piece;
}

}  // namespace vantrels
