#pragma once

#include <QString>
#include <QStringList>

// The language file that a Language setting names. An absolute path is taken as it stands (empty
// when empty). Any other value, such as a path copied from a Windows installation
// ("C:\\Program Files\\X\\Languages\\French.xml"), is looked up by its file name in the
// folders, in order, first exactly, then without regard to case; empty when no folder holds it.
QString ResolveLanguageFile(const QString& value, const QStringList& folders);
