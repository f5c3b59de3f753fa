#pragma once

#include <QString>
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

// A category sub-menu shows at most this many entries, and never more than the screen has lines
// for; the entries past them go into a "More" sub-menu at its end, level after level as
// MenuLevels says. A menu of 100,000 webcams would otherwise run columns off the screen and take
// seconds to open.
inline constexpr int CategoryMenuRoom = 10 * 29 + 1;

// The entries of a sub-menu whose screen has lines lines of items: one column, at most
// CategoryMenuRoom (and at least 2, one entry and "More").
int SubMenuRoom(int lines);

// Menu captions that show a name of the catalogue (a webcam, a category, a viewer's title) are at
// most this many characters: a longer name is shortened in the middle, its start and end kept
// around an ellipsis, so that no giant text reaches a menu.
inline constexpr int MenuCaptionLength = 60;
QString MenuCaption(const QString& name);

// A caption as a menu item's text: Qt takes "&" as the mark of the item's access key, so a name
// such as "Travel & Tours" would lose its "&" and underline the letter after it. Each "&" is
// doubled, which the menu shows as one. Window titles and list rows need no such escaping.
QString MenuText(const QString& caption);

// The hint of an item whose caption MenuCaption shortened: the whole name in lines of at most
// MenuHintLineLength characters, itself shortened in the middle past MenuHintLength characters.
// Empty when the caption shows the whole name.
inline constexpr int MenuHintLength = 1000;
inline constexpr int MenuHintLineLength = 80;
QString MenuHint(const QString& name);

// A name inside a hint of its own (a list row's hover text): the name itself when a caption shows
// it whole, otherwise as MenuHint gives it, in lines and bounded.
QString HintName(const QString& name);
