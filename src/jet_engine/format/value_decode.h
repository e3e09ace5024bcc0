#pragma once
// The display text of one stored value, as the grid and article-query show
// it: text as stored, numbers as plain digits, dates as ISO dates, long
// values read from their pages, anything else as hex.

#include "jet_engine/field_value.h"
#include "jet_engine/format/jet_layout.h"
#include "jet_engine/format/long_value.h"
#include "jet_engine/format/row_decoder.h"
#include "jet_engine/format/stored_text.h"

#include <string>

namespace jet_engine {

FieldValue::Kind kindOf(std::uint8_t type);

class ValueDecoder {
public:
    ValueDecoder(LongValueReader &longValues, TextDecoder text) : m_longValues(longValues), m_text(text) {}

    // Appends a non-null value's text; false when its bytes are not all there.
    bool append(const ColumnLayout &column, const FieldBytes &field, std::string &out);

private:
    LongValueReader &m_longValues;
    TextDecoder m_text;
    std::string m_longValue;
};

// A Jet decimal: a sign byte, then a 96-bit magnitude as four little-endian
// 32-bit words, most significant first (the first is always zero in Jet).
void appendNumeric(std::string &out, const unsigned char *bytes, unsigned scale);

} // namespace jet_engine
