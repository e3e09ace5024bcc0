#include "jet_engine/format/value_decode.h"

#include "jet_engine/format/little_endian.h"
#include "jet_engine/format/value_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace jet_engine {

namespace {

template <typename Integer>
void appendNumber(std::string &out, Integer value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

double leDouble(const unsigned char *p)
{
    const std::uint64_t bits = le64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float leFloat(const unsigned char *p)
{
    const std::uint32_t bits = le32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The smallest stored size of each fixed type.
std::size_t sizeOf(JetType type)
{
    switch (type) {
    case JetType::Byte: return 1;
    case JetType::Integer: return 2;
    case JetType::LongInteger:
    case JetType::Single: return 4;
    case JetType::Currency:
    case JetType::Double:
    case JetType::DateTime: return 8;
    case JetType::ReplicationId: return 16;
    case JetType::Numeric: return 17;
    default: return 0;
    }
}

} // namespace

FieldValue::Kind kindOf(std::uint8_t type)
{
    switch (static_cast<JetType>(type)) {
    case JetType::Boolean: return FieldValue::Kind::Boolean;
    case JetType::Byte:
    case JetType::Integer:
    case JetType::LongInteger: return FieldValue::Kind::Integer;
    case JetType::Currency: return FieldValue::Kind::Currency;
    case JetType::Single: return FieldValue::Kind::Single;
    case JetType::Double: return FieldValue::Kind::Double;
    case JetType::Numeric: return FieldValue::Kind::Numeric;
    case JetType::DateTime: return FieldValue::Kind::DateTime;
    default: return FieldValue::Kind::Text;
    }
}

void appendNumeric(std::string &out, const unsigned char *bytes, unsigned scale)
{
    // Base 10^9 limbs of the magnitude, by long division of its words.
    std::uint32_t words[4];
    for (int i = 0; i < 4; ++i)
        words[i] = le32(bytes + 1 + 4 * i);
    std::string digits;
    for (;;) {
        std::uint64_t remainder = 0;
        bool zero = true;
        for (std::uint32_t &word : words) {
            const std::uint64_t current = (remainder << 32) | word;
            word = static_cast<std::uint32_t>(current / 1000000000u);
            remainder = current % 1000000000u;
            zero = zero && word == 0;
        }
        char limb[9];
        for (int i = 8; i >= 0; --i) {
            limb[i] = static_cast<char>('0' + remainder % 10);
            remainder /= 10;
        }
        digits.insert(0, limb, 9);
        if (zero)
            break;
    }
    const std::size_t firstDigit = std::min(digits.find_first_not_of('0'), digits.size());
    digits.erase(0, firstDigit);
    scale = std::min(scale, 28u);
    if (digits.size() <= scale)
        digits.insert(0, scale + 1 - digits.size(), '0');
    if (bytes[0] & 0x80 && digits.find_first_not_of("0") != std::string::npos)
        out.push_back('-');
    out.append(digits, 0, digits.size() - scale);
    if (scale > 0) {
        out.push_back('.');
        out.append(digits, digits.size() - scale, scale);
    }
}

bool ValueDecoder::append(const ColumnLayout &column, const FieldBytes &field, std::string &out)
{
    const auto type = static_cast<JetType>(column.type);
    if (type == JetType::Boolean) {
        out.append(field.present ? "True" : "False");
        return true;
    }
    const unsigned char *p = field.data;
    const std::size_t size = field.size;
    if (size < sizeOf(type))
        return false;
    switch (type) {
    case JetType::Byte: appendNumber(out, static_cast<unsigned>(p[0])); return true;
    case JetType::Integer: appendNumber(out, static_cast<std::int16_t>(le16(p))); return true;
    case JetType::LongInteger: appendNumber(out, static_cast<std::int32_t>(le32(p))); return true;
    case JetType::Currency: appendCurrency(out, static_cast<std::int64_t>(le64(p))); return true;
    case JetType::Single: appendReal(out, leFloat(p)); return true;
    case JetType::Double: appendReal(out, leDouble(p)); return true;
    case JetType::DateTime: appendDate(out, leDouble(p)); return true;
    case JetType::ReplicationId: appendGuid(out, p); return true;
    case JetType::Numeric: appendNumeric(out, p, column.scale); return true;
    case JetType::Text: m_text.append(p, size, out); return true;
    case JetType::Memo:
        if (!m_longValues.read(p, size, m_longValue))
            return false;
        m_text.append(reinterpret_cast<const unsigned char *>(m_longValue.data()), m_longValue.size(), out);
        return true;
    case JetType::Ole:
        if (!m_longValues.read(p, size, m_longValue))
            return false;
        appendHex(out, reinterpret_cast<const unsigned char *>(m_longValue.data()), m_longValue.size());
        return true;
    default: appendHex(out, p, size); return true;
    }
}

} // namespace jet_engine
