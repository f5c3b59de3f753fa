#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// How a language file writes the values of properties, read without any widget.

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
