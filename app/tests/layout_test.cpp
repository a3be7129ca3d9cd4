#include <gtest/gtest.h>

#include <set>

#include "app/layout.h"

namespace {

using corvix::ControlId;

TEST(Layout, RowsAreInIdOrderWithUniqueNames) {
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < corvix::FormLayout.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(corvix::FormLayout[i].id), i);
        EXPECT_TRUE(names.insert(corvix::FormLayout[i].name).second) << corvix::FormLayout[i].name;
    }
}

TEST(Layout, SiblingsHaveDistinctTabOrders) {
    for (const auto& a : corvix::FormLayout) {
        for (const auto& b : corvix::FormLayout) {
            if (&a == &b || a.id == ControlId::Form1 || b.id == ControlId::Form1 || a.tabOrder < 0) continue;
            EXPECT_FALSE(a.parent == b.parent && a.tabOrder == b.tabOrder) << a.name << " " << b.name;
        }
    }
}

TEST(Layout, FocusOrder) {
    EXPECT_EQ(corvix::FocusOrder(),
              (std::vector<ControlId>{ControlId::EditHostName, ControlId::EditPort, ControlId::EditDefault,
                                      ControlId::ButtonSetDefault, ControlId::ButtonOk, ControlId::ButtonCancel,
                                      ControlId::ButtonTest}));
}

TEST(Layout, ChildrenFitInsideTheirGroups) {
    for (const auto& row : corvix::FormLayout) {
        if (row.id == ControlId::Form1 || row.parent == ControlId::Form1 || row.width == 0) continue;
        const auto& group = corvix::LayoutRow(row.parent);
        EXPECT_LE(row.left + row.width, group.width) << row.name;
        EXPECT_LE(row.top + row.height, group.height) << row.name;
    }
}

}  // namespace
