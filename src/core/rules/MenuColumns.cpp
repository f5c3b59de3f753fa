#include "core/rules/MenuColumns.h"

#include <algorithm>

bool StartsMenuColumn(int webcamPosition)
{
    // A counter starts at 0 and is raised before each webcam; at 30 the webcam starts a column
    // and the counter restarts at 1. So every column holds 29 webcams.
    constexpr int perColumn = 29;
    return webcamPosition > 0 && webcamPosition % perColumn == 0;
}

std::vector<int> MenuLevels(int count, int firstRoom, int room)
{
    std::vector<int> levels;
    int left = std::max(count, 0);
    int lines = std::max(firstRoom, 2);
    while (left > lines) {
        levels.push_back(lines - 1);
        left -= lines - 1;
        lines = std::max(room, 2);
    }
    levels.push_back(left);
    return levels;
}
