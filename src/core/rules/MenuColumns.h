#pragma once

// The webcams of a category sub-menu run in columns of 29: counting the webcams in order (sub-
// categories above them do not count), the one at 0-based position 29, 58, 87, ... starts a new
// column behind a separating bar.
bool StartsMenuColumn(int webcamPosition);
