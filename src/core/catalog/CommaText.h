#pragma once

#include <QString>
#include <QStringList>

// Comma text: a list of items in one line, as category paths are written.
//
// Splitting: items are separated by commas; an item that begins with a double quote runs to the
// matching closing quote, two double quotes inside standing for one; an unquoted item ends at a
// comma, a blank or a control character, so white space separates items too; white space around
// items is skipped; a comma at the very end adds one empty item. An empty text gives no items.
//
// Joining: items joined by commas; an item that holds a blank, a control character, a comma or a
// double quote, or an only item that is empty, is written between double quotes with inner double
// quotes doubled.
QStringList SplitCommaText(QStringView text);
QString JoinCommaText(const QStringList& items);
