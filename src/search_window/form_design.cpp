#include "search_window/form_design.h"

namespace search_window {

std::u16string GFormatString()
{
    return u"^" + std::u16string(40, u' ') + std::u16string(GAccessibleName) + std::u16string(116, u' ');
}

// Debian has no face with either's metrics. Of its free faces, Liberation
// Sans (Arial's widths) is the nearest to both: Segoe UI runs a few percent
// wider than Arial, DejaVu Sans over a tenth wider still.
std::array<std::u16string_view, 3> fontFaces(std::u16string_view designed)
{
    if (designed == msSansSerif)
        return {msSansSerif, u"Microsoft Sans Serif", u"Liberation Sans"};
    if (designed == semibold)
        return {semibold, u"Segoe UI", u"Liberation Sans"};
    return {designed, {}, u"Liberation Sans"};
}

GridFormat parseGridFormat(std::u16string_view format)
{
    GridFormat parsed;
    parsed.centred = !format.empty() && format.front() == u'^';
    parsed.header = parsed.centred ? format.substr(1) : format;
    return parsed;
}

} // namespace search_window
