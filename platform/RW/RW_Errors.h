#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

// Message of the container library's index error: the bad index and the number
// of entries, filled in by RWBoundsErr::Index.
inline constexpr const char* RWTOOL_INDEXERR = "Index (%zu) out of range [0->%zu)";

// RWBoundsErr - raised by the container library for an index at or beyond the
// number of entries. Callers pass indices as unsigned numbers, so a negative int
// index arrives as a huge one and fails the same way.
class RWBoundsErr : public std::out_of_range {
  public:
    explicit RWBoundsErr(const std::string& message) : std::out_of_range(message) {}

    // The error for index i in a container of count entries, worded by RWTOOL_INDEXERR.
    static RWBoundsErr Index(std::size_t i, std::size_t count);

    const char* why() const noexcept { return what(); }
};
