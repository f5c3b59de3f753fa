#include "core/rules/DesktopEntry.h"

QString DesktopExecArgument(const QString& path)
{
    QString value = QStringLiteral("\"");
    for (QChar c : path) {
        if (c == u'"' || c == u'`' || c == u'$')
            value += QStringLiteral("\\\\");
        if (c == u'\\')
            value += QStringLiteral("\\\\\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return value + u'"';
}
