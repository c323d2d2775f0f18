// The six numbers of a date-time text ("2013-5-7 8:09:10"): year, month, day, hour, minute,
// second, read as the runs of digits in order.
#pragma once

#include <string_view>

namespace qb::text {

// Fills parts (missing ones 0) and returns how many runs of digits were found (at most 6).
int parse_date_parts(std::string_view text, int (&parts)[6]);

}  // namespace qb::text
