#include "search_window/qt/first_line_only.h"

#include <algorithm>

namespace search_window {

namespace {

qsizetype firstLineBreak(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'\n' || text[i] == u'\r')
            return i;
    return -1;
}

} // namespace

// The box never holds a line break, so the first one is in what was just
// inserted, which ends at the cursor: the rest of that insertion goes, and
// the text after the cursor stays.
QValidator::State FirstLineOnly::validate(QString &input, int &pos) const
{
    for (qsizetype lineBreak = firstLineBreak(input); lineBreak >= 0; lineBreak = firstLineBreak(input)) {
        const qsizetype insertionEnd = std::max<qsizetype>(pos, lineBreak + 1);
        input.remove(lineBreak, insertionEnd - lineBreak);
        pos = int(lineBreak);
    }
    return Acceptable;
}

} // namespace search_window
