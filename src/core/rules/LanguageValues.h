#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// How a language file writes the values of properties, read without any widget, and what it may
// change at all.

// A language file changes how the windows read, never what they do or how much room they take:
// it may set texts (captions, hints, status tips, items, lines, tabs), shortcuts, fonts, the
// alignment and direction of texts, and the widths of status panels and list columns, each within
// the bounds below. Sizes, geometry, style sheets, states (checked, enabled, visible) and every
// other property are refused.

// Files larger than this are refused before they are read (bytes). The program's own files are a
// few kilobytes.
inline constexpr qint64 MaxLanguageFileSize = 1024 * 1024;
// Documents with more elements and attributes than this together are refused whole: applying one
// to every open window must stay a short step (the program's own files have about 300).
inline constexpr int MaxLanguageElements = 1000;
// The longest text a language file may set (characters); a longer one is refused.
inline constexpr qsizetype MaxLanguageTextLength = 1024;
// Font sizes a language file may set: points, and pixels for a font given by its height.
inline constexpr int MaxLanguageFontPoints = 72;
inline constexpr int MaxLanguageFontPixels = 96;
// Widths of status panels and list columns (pixels); a negative panel width stretches the panel.
inline constexpr int MaxLanguageWidth = 2000;

// Whether a language file may set the property of this name (layout names such as Caption, Hint
// and ShortCut, or Qt's own names such as text, toolTip and windowTitle; any letter case).
bool IsLanguageProperty(QStringView name);

// A text property: the first backslash-n becomes a line break; later ones stay as they are.
QString LanguageText(const QString& value);

// A set in bracket notation, "[fsBold, fsItalic]": the member names, blanks trimmed, empty names
// dropped. The brackets may be missing. Empty list for "[]" or an empty text.
QStringList LanguageSetMembers(QStringView value);

// An enumeration value: a number (any non-zero number, or 0 written as "0") gives that ordinal;
// any other text is looked up among names (without regard to case) and gives the position of the
// matching name; a name that matches none gives 0.
int LanguageEnumOrdinal(QStringView value, const QStringList& names);

// A boolean: "True"/"False" in any case, or a number (non-zero is true). Nothing for anything else.
std::optional<bool> LanguageBool(QStringView value);

// A colour as 0xRRGGBB: a colour name ("clRed", "clBlue" ... in any case, with or without the
// "cl" prefix), "$BBGGRR" hexadecimal or a decimal number, both with blue in the high byte, or
// "#RRGGBB". Nothing when the text is none of these.
std::optional<unsigned> LanguageColor(QStringView value);

// The number a spin field reads from the text the user typed: a whole number brought into
// [minimum, maximum]; a text that is not a whole number reads as 1 (then brought into the range).
int SpinFieldValue(QStringView text, int minimum, int maximum);
