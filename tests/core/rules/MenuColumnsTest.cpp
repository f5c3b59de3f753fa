#include "core/rules/MenuColumns.h"

#include <gtest/gtest.h>

TEST(MenuColumns, EntriesPastTheScreenGoToNestedMoreMenus)
{
    EXPECT_EQ(MenuLevels(10, 10, 30), std::vector<int>({10}));
    // one too many: the last line of the top level becomes "More"
    EXPECT_EQ(MenuLevels(11, 10, 30), std::vector<int>({9, 2}));
    std::vector<int> many(16, 29);
    many.insert(many.begin(), 9);
    many.push_back(27);
    EXPECT_EQ(MenuLevels(500, 10, 30), many);
    // no room at all still makes progress: each level shows an entry besides "More"
    EXPECT_EQ(MenuLevels(3, 0, 0), std::vector<int>({1, 2}));
}
