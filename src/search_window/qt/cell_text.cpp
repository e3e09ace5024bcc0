#include "search_window/qt/cell_text.h"

#include "search_window/cell_value.h"

#include <QDate>
#include <QTime>

namespace search_window {

namespace {

std::u16string units(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())};
}

class QtFormats final : public RegionalFormats {
public:
    explicit QtFormats(const QLocale &locale) : m_locale(locale) {}

    std::u16string decimalSeparator() const override { return units(m_locale.decimalPoint()); }

    std::u16string shortDate(const JetDateTime &when) const override
    {
        return units(m_locale.toString(QDate(when.year, int(when.month), int(when.day)), QLocale::ShortFormat));
    }

    // The long time format names the time zone, which a stored time does not
    // have.
    std::u16string longTime(const JetDateTime &when) const override
    {
        QString format = m_locale.timeFormat(QLocale::LongFormat);
        format.remove(u't');
        return units(m_locale.toString(QTime(int(when.hour), int(when.minute), int(when.second)), format.trimmed()));
    }

private:
    const QLocale &m_locale;
};

} // namespace

QString cellText(const QLocale &locale, jet_engine::FieldValue::Kind kind, std::string_view text)
{
    if (shownAsStored(kind))
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const std::u16string shown = regionalText(kind, text, QtFormats(locale));
    return QString::fromUtf16(shown.data(), static_cast<qsizetype>(shown.size()));
}

} // namespace search_window
