#pragma once
// A cell's text as the grid shows it: text as stored, dates and numbers in
// `locale`'s formats, the way the system's own conversion of a value to text
// gives them to a Windows user.

#include "jet_engine/field_value.h"

#include <QLocale>
#include <QString>

#include <string_view>

namespace search_window {

QString cellText(const QLocale &locale, jet_engine::FieldValue::Kind kind, std::string_view text);

} // namespace search_window
