// Numbers from text and back. Every value the program takes from a file or the
// command line is converted as a whole token, so that "12abc", "1O00" or
// "2.5" for a count is refused instead of being half read. Each conversion
// returns false with the reason, phrased to follow the item's name in a
// message ("'12abc' is not a whole number").
#pragma once

#include <cstdint>
#include <string>

namespace lumtra {

// A decimal whole number with an optional '+'; negative numbers are refused.
bool parse_unsigned(const std::string& token, uint64_t& value, std::string& why);
// A decimal whole number with an optional sign, within 64 bits.
bool parse_signed(const std::string& token, int64_t& value, std::string& why);
// A finite real number in any form strtod takes ("1e3", "0.5", "-2").
bool parse_real(const std::string& token, double& value, std::string& why);
// A whole number for an unsigned 32-bit field.
bool parse_u32(const std::string& token, uint32_t& value, std::string& why);
// A signed whole number within lo .. hi.
bool parse_in_range(const std::string& token, int64_t lo, int64_t hi, int64_t& value, std::string& why);

// A real number as printf's "%g" writes it, for messages and records.
std::string real_text(double v);

}  // namespace lumtra
