#pragma once

#include <vector>

// The webcams of a category sub-menu run in columns of 29: counting the webcams in order (sub-
// categories above them do not count), the one at 0-based position 29, 58, 87, ... starts a new
// column behind a separating bar.
bool StartsMenuColumn(int webcamPosition);

// A menu taller than the screen runs off it: its entries are spread over levels, each level but
// the last ending with a "More" sub-menu that holds the next level. firstRoom is the number of
// lines the top level has for entries, room that of each further level (a level that overflows
// gives one of its lines to "More"; rooms below 2 count as 2). The result: how many of count
// entries each level shows, top level first; {count} when everything fits.
std::vector<int> MenuLevels(int count, int firstRoom, int room);
