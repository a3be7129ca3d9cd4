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
    for (const auto& spec : corvix::FormLayout) {
        if (spec.id == ControlId::Form1 || spec.parent == ControlId::Form1 || spec.width == 0) continue;
        const auto& group = corvix::Spec(spec.parent);
        EXPECT_LE(spec.left + spec.width, group.width) << spec.name;
        EXPECT_LE(spec.top + spec.height, group.height) << spec.name;
    }
}

}  // namespace
