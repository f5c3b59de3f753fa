#pragma once

class QObject;

// For the desktop tests and the soak run: when the environment variable PICTAVO_STATE_DUMP names a
// file, the state of the open viewers (name, title, visibility, pictures shown, countdown,
// geometry, the held picture's size in device pixels, last failure) is written to it five times a
// second, one line per viewer, then a line for the mosaic and one for the chooser when they are
// open, and last a line naming the display platform the program runs on, for as long as owner
// lives. Without the variable nothing happens.
void StartStateDump(QObject* owner);
