#include "search_window/qt/cell_text.h"

#include "search_window/cell_value.h"

#include <QDate>
#include <QTime>

namespace search_window {

namespace {

using Kind = article_database::FieldValue::Kind;

QString fromUtf16(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString decimal(const QLocale &locale, std::string_view text)
{
    const QString separator = locale.decimalPoint();
    return fromUtf16(withDecimalSeparator(
        text, {reinterpret_cast<const char16_t *>(separator.utf16()), static_cast<std::size_t>(separator.size())}));
}

// The long time format names the time zone, which a stored time does not have.
QString timeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(u't');
    return format.trimmed();
}

QString dateTime(const QLocale &locale, std::string_view text)
{
    const auto parsed = readInvariantDate(text);
    if (!parsed)
        return decimal(locale, text);
    const QTime time(int(parsed->hour), int(parsed->minute), int(parsed->second));
    if (parsed->timeAlone())
        return locale.toString(time, timeFormat(locale));
    const QString date = locale.toString(QDate(parsed->year, int(parsed->month), int(parsed->day)), QLocale::ShortFormat);
    if (parsed->midnight())
        return date;
    return date + u' ' + locale.toString(time, timeFormat(locale));
}

QString real(const QLocale &locale, std::string_view text, int digits)
{
    const auto value = readInvariantNumber(text);
    return value ? decimal(locale, significantDigits(*value, digits)) : decimal(locale, text);
}

} // namespace

QString cellText(const QLocale &locale, Kind kind, std::string_view text)
{
    switch (kind) {
    case Kind::Double: return real(locale, text, 15);
    case Kind::Single: return real(locale, text, 7);
    case Kind::Numeric:
    case Kind::Currency: return decimal(locale, text);
    case Kind::DateTime: return dateTime(locale, text);
    default: return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
}

} // namespace search_window
