#include "search_window/upper_case.h"

namespace search_window {

QString upperCaseEachCharacter(const QString &text)
{
    QString upper = text;
    QChar *units = upper.data();
    const qsizetype size = upper.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (units[i].isHighSurrogate() && i + 1 < size && units[i + 1].isLowSurrogate()) {
            const char32_t mapped = QChar::toUpper(QChar::surrogateToUcs4(units[i], units[i + 1]));
            // A pair stays a pair: a mapping out of its plane would change the length.
            if (QChar::requiresSurrogates(mapped)) {
                units[i] = QChar(QChar::highSurrogate(mapped));
                units[i + 1] = QChar(QChar::lowSurrogate(mapped));
            }
            ++i;
        } else if (!units[i].isSurrogate()) {
            const char32_t mapped = QChar::toUpper(char32_t(units[i].unicode()));
            if (!QChar::requiresSurrogates(mapped))
                units[i] = QChar(char16_t(mapped));
        }
    }
    return upper;
}

} // namespace search_window
