#include "search_window/qt/upper_case.h"

#include <QChar>

namespace search_window {

std::u16string upperCaseEachCharacter(std::u16string_view text)
{
    std::u16string upper(text);
    const std::size_t size = upper.size();
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t unit = upper[i];
        if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(upper[i + 1])) {
            const char32_t mapped = QChar::toUpper(QChar::surrogateToUcs4(unit, upper[i + 1]));
            // A pair stays a pair: a mapping out of its plane would change the length.
            if (QChar::requiresSurrogates(mapped)) {
                upper[i] = QChar::highSurrogate(mapped);
                upper[i + 1] = QChar::lowSurrogate(mapped);
            }
            ++i;
        } else if (!QChar::isSurrogate(unit)) {
            const char32_t mapped = QChar::toUpper(char32_t(unit));
            if (!QChar::requiresSurrogates(mapped))
                upper[i] = char16_t(mapped);
        }
    }
    return upper;
}

} // namespace search_window
