#pragma once
// A single-line box keeps what is pasted or dropped into it up to its first
// line break, as a single-line box on Windows does: a spreadsheet cell copied
// as "vis" and a line break searches "VIS".

#include <QValidator>

namespace search_window {

class FirstLineOnly : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

} // namespace search_window
