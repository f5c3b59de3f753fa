#include "core/catalog/CommaText.h"

namespace {

constexpr char16_t Quote = u'"';
constexpr char16_t Delimiter = u',';

bool IsBlankOrControl(char16_t c)
{
    return c <= u' ';
}

} // namespace

QStringList SplitCommaText(QStringView text)
{
    QStringList items;
    const qsizetype size = text.size();
    qsizetype p = 0;
    while (p < size && IsBlankOrControl(text[p].unicode()))
        ++p;
    while (p < size) {
        QString item;
        if (text[p].unicode() == Quote) {
            ++p;
            while (p < size) {
                const char16_t c = text[p].unicode();
                if (c == Quote) {
                    if (p + 1 < size && text[p + 1].unicode() == Quote) {
                        item += QChar(Quote);
                        p += 2;
                        continue;
                    }
                    ++p; // the closing quote
                    break;
                }
                item += QChar(c);
                ++p;
            }
        } else {
            const qsizetype start = p;
            while (p < size && !IsBlankOrControl(text[p].unicode()) &&
                   text[p].unicode() != Delimiter)
                ++p;
            item = text.mid(start, p - start).toString();
        }
        items.append(item);
        while (p < size && IsBlankOrControl(text[p].unicode()))
            ++p;
        if (p < size && text[p].unicode() == Delimiter) {
            if (p + 1 == size)
                items.append(QString());
            do {
                ++p;
            } while (p < size && IsBlankOrControl(text[p].unicode()));
        }
    }
    return items;
}

QString JoinCommaText(const QStringList& items)
{
    if (items.size() == 1 && items.front().isEmpty())
        return QStringLiteral("\"\"");
    QString result;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString& item = items[i];
        if (i > 0)
            result += QChar(Delimiter);
        bool quote = false;
        for (QChar c : item) {
            const char16_t u = c.unicode();
            if (IsBlankOrControl(u) || u == Quote || u == Delimiter) {
                quote = true;
                break;
            }
        }
        if (!quote) {
            result += item;
            continue;
        }
        result += QChar(Quote);
        for (QChar c : item) {
            if (c.unicode() == Quote)
                result += QChar(Quote);
            result += c;
        }
        result += QChar(Quote);
    }
    return result;
}
