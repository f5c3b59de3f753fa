#include "core/rules/MenuColumns.h"

#include <gtest/gtest.h>
#include <numeric>

TEST(MenuColumns, EntriesPastTheScreenGoToNestedMoreMenus)
{
    struct Row
    {
        int count;
        int firstRoom;
        int room;
        std::vector<int> levels;
    };
    const Row rows[] = {
        {0, 10, 30, {0}},
        {10, 10, 30, {10}},
        // one too many: the last line of the top level becomes "More"
        {11, 10, 30, {9, 2}},
        {500, 10, 30, {9, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 29, 27}},
        // no room at all still makes progress: each level shows an entry besides "More"
        {3, 0, 0, {1, 2}},
    };
    for (const Row& r : rows) {
        const std::vector<int> levels = MenuLevels(r.count, r.firstRoom, r.room);
        EXPECT_EQ(levels, r.levels) << r.count << " in " << r.firstRoom << "/" << r.room;
        EXPECT_EQ(std::accumulate(levels.begin(), levels.end(), 0), r.count);
    }
}
