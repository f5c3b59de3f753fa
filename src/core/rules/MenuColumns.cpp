#include "core/rules/MenuColumns.h"

bool StartsMenuColumn(int webcamPosition)
{
    // A counter starts at 0 and is raised before each webcam; at 30 the webcam starts a column
    // and the counter restarts at 1. So every column holds 29 webcams.
    constexpr int perColumn = 29;
    return webcamPosition > 0 && webcamPosition % perColumn == 0;
}
