#pragma once

#include <string>
#include <string_view>
#include <vector>

struct VxrpData;

// A histogram of a series' raw stored values, read from a text file:
//
//   # comment lines and empty lines are skipped
//   VALUE COUNT
//
// one bin per line, VALUE a raw stored value (a decimal integer within the
// data's raw range: 0..2^bits-1, or -2^(bits-1)..2^(bits-1)-1 for signed data),
// COUNT the number of voxels with that value (a decimal integer, 0 or more),
// separated by spaces, tabs or one comma. Values not listed count 0; a value
// listed twice adds up. The counts must add up to 1..2147483647. Lines may end
// in CR LF.
struct VxrpHistogram {
    // One counter per colour-table entry, lowest raw value first.
    std::vector<unsigned long> counts;
    int total = 0;
};

// Reads text (named `name` in messages) for data; VxrpError(kVxrpBadInput,
// "NAME:LINE: what is wrong") for anything that is not a histogram as above.
VxrpHistogram VxrpParseHistogram(std::string_view text, const VxrpData& data,
                                 const std::string& name);

// The format, for --help.
extern const char* const kVxrpHistogramFormat;
