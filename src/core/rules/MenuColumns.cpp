#include "core/rules/MenuColumns.h"

#include <algorithm>

bool StartsMenuColumn(int webcamPosition)
{
    // A counter starts at 0 and is raised before each webcam; at 30 the webcam starts a column
    // and the counter restarts at 1. So every column holds 29 webcams.
    constexpr int perColumn = 29;
    return webcamPosition > 0 && webcamPosition % perColumn == 0;
}

std::vector<int> MenuLevels(int count, int firstRoom, int room)
{
    std::vector<int> levels;
    int left = std::max(count, 0);
    int lines = std::max(firstRoom, 2);
    while (left > lines) {
        levels.push_back(lines - 1);
        left -= lines - 1;
        lines = std::max(room, 2);
    }
    levels.push_back(left);
    return levels;
}

int SubMenuRoom(int lines)
{
    return std::clamp(lines, 2, CategoryMenuRoom);
}

namespace {

// The name with its middle replaced by an ellipsis so that it is length characters long; a
// character outside the basic plane is never cut in two.
QString shortenedInTheMiddle(const QString& name, qsizetype length)
{
    if (name.size() <= length)
        return name;
    qsizetype head = (length - 1) / 2;
    qsizetype tail = length - 1 - head;
    if (head > 0 && name.at(head - 1).isHighSurrogate())
        --head;
    if (name.at(name.size() - tail).isLowSurrogate())
        --tail;
    return name.left(head) + QChar(0x2026) + name.right(tail);
}

} // namespace

QString MenuCaption(const QString& name)
{
    return shortenedInTheMiddle(name, MenuCaptionLength);
}

QString MenuHint(const QString& name)
{
    if (name.size() <= MenuCaptionLength)
        return QString();
    const QString whole = shortenedInTheMiddle(name, MenuHintLength);
    QString hint;
    hint.reserve(whole.size() + whole.size() / MenuHintLineLength);
    for (qsizetype at = 0; at < whole.size();) {
        qsizetype line = std::min<qsizetype>(MenuHintLineLength, whole.size() - at);
        if (at + line < whole.size() && whole.at(at + line).isLowSurrogate())
            --line;
        if (!hint.isEmpty())
            hint += QLatin1Char('\n');
        hint += QStringView(whole).mid(at, line);
        at += line;
    }
    return hint;
}

QString HintName(const QString& name)
{
    return name.size() <= MenuCaptionLength ? name : MenuHint(name);
}

QString MenuText(const QString& caption)
{
    QString text = caption;
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    return text;
}
