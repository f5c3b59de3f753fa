#pragma once

// Windows that stay on top (a viewer's Always on Top) would cover the program's own dialogs and
// message boxes, which then wait for an answer out of sight. Once KeepDialogsAbove has been called,
// every dialog (a QDialog: Options, About, the AVI creator, message, input and file boxes) and the
// catalogue editor that is shown while some other window of the program stays on top is shown on
// top as well.
void KeepDialogsAbove();

// Whether a top-level window of the program other than the dialogs themselves is shown and stays
// on top.
bool AnyWindowOnTop();
