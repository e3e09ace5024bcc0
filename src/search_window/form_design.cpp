#include "search_window/form_design.h"

namespace search_window {

std::u16string GFormatString()
{
    return u"^" + std::u16string(40, u' ') + std::u16string(GAccessibleName) + std::u16string(116, u' ');
}

GridFormat parseGridFormat(std::u16string_view format)
{
    GridFormat parsed;
    parsed.centred = !format.empty() && format.front() == u'^';
    parsed.header = parsed.centred ? format.substr(1) : format;
    return parsed;
}

} // namespace search_window
