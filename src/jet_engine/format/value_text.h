#pragma once
// Display text of Jet values that are not text, as the grid and article-query
// show them. Each appends to a column's buffer.

#include <cstddef>
#include <cstdint>
#include <string>

namespace jet_engine {

// Shortest text that reads back as the same number: plain digits, with
// exponent form only for magnitudes below 1e-4 or from 1e15 on.
void appendReal(std::string &out, double value);
void appendReal(std::string &out, float value);

// Currency is stored as a count of ten-thousandths: "12.5", "-0.0001", "3".
void appendCurrency(std::string &out, std::int64_t tenThousandths);

// Jet dates count days from 1899-12-30, the fraction being the time of day
// (also for dates before 1899-12-30). "YYYY-MM-DD", with " HH:MM:SS" when the
// time is not midnight; out-of-range values show as numbers.
void appendDate(std::string &out, double days);

// A replication ID, {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, from its 16 bytes.
void appendGuid(std::string &out, const unsigned char *bytes);

void appendHex(std::string &out, const unsigned char *bytes, std::size_t count);

} // namespace jet_engine
