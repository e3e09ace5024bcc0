// The run a set with no faster way gives by walking itself: the window's
// search fakes take this path and pin what it skips and where it stops; here,
// where it starts and what the run holds on to.

#include "jet_engine/engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace jet_engine {
namespace {

using Cells = std::vector<std::optional<std::string>>;

class WalkedSet final : public Recordset {
public:
    explicit WalkedSet(std::shared_ptr<Cells> cells) : m_cells(std::move(cells)) {}

    Status moveFirst() override
    {
        m_position = 0;
        return Status::Ok;
    }
    Outcome<bool> eof() const override { return m_position >= m_cells->size(); }
    Status moveNext() override
    {
        ++m_position;
        return Status::Ok;
    }
    Outcome<FieldValue> field(int) const override
    {
        const auto &cell = (*m_cells)[m_position];
        return cell ? FieldValue{FieldValue::Kind::Integer, *cell} : FieldValue{};
    }
    std::shared_ptr<const void> storage() const override { return m_cells; }

private:
    std::shared_ptr<Cells> m_cells;
    std::size_t m_position = 0;
};

TEST(WalkedRunTest, StartsAtTheCurrentRowAndKeepsItsOwnCopies)
{
    auto cells = std::make_shared<Cells>(Cells{"7", "8", std::nullopt, "", "42"});
    auto set = std::make_unique<WalkedSet>(cells);
    ASSERT_EQ(set->moveNext(), Status::Ok);
    const auto run = set->restOfField(0);
    ASSERT_TRUE(run.ok());
    EXPECT_EQ(set->eof().value(), true);
    set.reset();
    for (auto &cell : *cells)
        cell = "overwritten";
    cells.reset();

    ASSERT_EQ(run.value().size(), 3u);
    EXPECT_EQ(run.value().kind(), FieldValue::Kind::Integer);
    EXPECT_EQ(run.value()[0], "8");
    EXPECT_EQ(run.value()[1], "");
    EXPECT_EQ(run.value()[2], "42");
}

} // namespace
} // namespace jet_engine
