#include "jet_engine/tables/page_map.h"

namespace jet_engine {

void PageMap::append(const PageMap &later)
{
    const auto pageBase = static_cast<std::uint32_t>(pages.size());
    const std::uint32_t rowBase = firstRow.back();
    pages.insert(pages.end(), later.pages.begin(), later.pages.end());
    digests.insert(digests.end(), later.digests.begin(), later.digests.end());
    for (std::size_t i = 1; i < later.firstRow.size(); ++i)
        firstRow.push_back(rowBase + later.firstRow[i]);
    for (Borrowed page : later.borrowed) {
        page.byPage += pageBase;
        borrowed.push_back(page);
    }
}

} // namespace jet_engine
