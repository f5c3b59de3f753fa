#include "core/rules/CamAddress.h"

#include <QStringView>

namespace {

const QString Mask = QStringLiteral("***");

bool IsSchemeChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '+' ||
           u == '-' || u == '.';
}

bool IsLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool EndsAuthority(QChar c)
{
    return c == u'/' || c == u'?' || c == u'#' || c.isSpace();
}

// Where the scheme that ends at mark (the position of "://") begins, or -1 when the letters
// before mark do not form one.
qsizetype SchemeStart(QStringView text, qsizetype mark)
{
    qsizetype start = mark;
    while (start > 0 && IsSchemeChar(text[start - 1]))
        --start;
    // A scheme begins with a letter: digits or signs in front of it belong to the text before.
    while (start < mark && !IsLetter(text[start]))
        ++start;
    return start < mark ? start : -1;
}

// The user info of an address: [Begin, At) with At the position of the '@' that ends it;
// Colon the first ':' in it (-1 when it has none), Encoded whether that is a "%3A" (a user name
// that holds a colon, which a server reads as user name and password).
struct TUserInfo
{
    qsizetype Begin = 0;
    qsizetype At = -1;
    qsizetype Colon = -1;
    bool Encoded = false;

    bool Present() const { return At > Begin; }
    bool HasPassword() const { return Colon >= 0 && Colon + (Encoded ? 3 : 1) < At; }
    qsizetype PasswordBegin() const { return Colon + (Encoded ? 3 : 1); }
};

// Whether host[:port] (no user info) is well formed as far as the port goes: an IPv6 host in
// brackets or a name, then nothing or a ':' and digits.
bool PortIsDigits(QStringView hostPort)
{
    qsizetype colon;
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            return false;
        if (close + 1 == hostPort.size())
            return true;
        if (hostPort[close + 1] != u':')
            return false;
        colon = close + 1;
    } else {
        colon = hostPort.indexOf(u':');
        if (colon < 0)
            return true;
    }
    for (qsizetype i = colon + 1; i < hostPort.size(); ++i)
        if (hostPort[i] < u'0' || hostPort[i] > u'9')
            return false;
    return true;
}

TUserInfo UserInfoOf(QStringView address)
{
    TUserInfo info;
    qsizetype begin = 0;
    while (begin < address.size() && address[begin].isSpace())
        ++begin;
    const qsizetype mark = address.indexOf(u"://", begin);
    if (mark > begin && SchemeStart(address, mark) == begin)
        begin = mark + 3;
    info.Begin = begin;
    qsizetype end = begin;
    while (end < address.size() && !EndsAuthority(address[end]))
        ++end;
    const QStringView authority = address.sliced(begin, end - begin);
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) {
        info.At = begin + at;
    } else if (!PortIsDigits(authority) && !authority.startsWith(u'[')) {
        // "user:pa#ss@host", "user:pa/ss@host": a password holding a sign that ends the
        // authority makes a "port" of letters. Such an address cannot be read as it stands; what
        // runs from the colon to the last '@' is taken as the password, so it is never shown.
        const qsizetype last = address.lastIndexOf(u'@');
        if (last < end)
            return info;
        info.At = last;
    } else {
        return info;
    }
    const QStringView userInfo = address.sliced(begin, info.At - begin);
    const qsizetype colon = userInfo.indexOf(u':');
    if (colon >= 0) {
        info.Colon = begin + colon;
    } else {
        const qsizetype encoded = userInfo.indexOf(u"%3A", 0, Qt::CaseInsensitive);
        if (encoded >= 0) {
            info.Colon = begin + encoded;
            info.Encoded = true;
        }
    }
    return info;
}

// One address with its own password masked.
QString MaskOne(QStringView address)
{
    const TUserInfo info = UserInfoOf(address);
    if (!info.HasPassword())
        return address.toString();
    QString masked = address.first(info.PasswordBegin()).toString();
    masked += Mask;
    masked += address.sliced(info.At);
    return masked;
}

// text from `from` on, read as an address there and at every later scheme (an address in the
// query of another is masked too).
QString MaskFrom(QStringView text, qsizetype from)
{
    QString masked;
    for (qsizetype mark = text.indexOf(u"://", from); mark >= 0;
         mark = text.indexOf(u"://", mark + 3)) {
        const qsizetype start = SchemeStart(text, mark);
        if (start <= from)
            continue;
        masked += MaskOne(text.sliced(from, start - from));
        from = start;
    }
    return masked + MaskOne(text.sliced(from));
}

} // namespace

QString MaskedAddress(const QString& address)
{
    if (!address.contains(u'@'))
        return address;
    return MaskFrom(address, 0);
}

QString AddressWithoutCredentials(const QString& address)
{
    const TUserInfo info = UserInfoOf(address);
    if (!info.Present())
        return address;
    QString bare = address;
    bare.remove(info.Begin, info.At + 1 - info.Begin);
    return bare;
}

bool HasCredentials(const QString& address)
{
    return UserInfoOf(address).Present();
}

QString MaskedAddresses(const QString& text)
{
    if (!text.contains(u'@'))
        return text;
    const QStringView all(text);
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    while (i < all.size()) {
        if (all[i].isSpace()) {
            result += all[i++];
            continue;
        }
        qsizetype end = i;
        while (end < all.size() && !all[end].isSpace())
            ++end;
        const QStringView word = all.sliced(i, end - i);
        i = end;
        if (!word.contains(u'@')) {
            result += word;
            continue;
        }
        // The first address begins where a scheme before "://" does, the text in front of it
        // left as it is; in a word without one, after the word's opening quotes.
        qsizetype from = -1;
        for (qsizetype mark = word.indexOf(u"://"); mark >= 0 && from < 0;
             mark = word.indexOf(u"://", mark + 3))
            from = SchemeStart(word, mark);
        if (from < 0) {
            from = 0;
            while (from < word.size() && QStringView(u"\"'(<[{").contains(word[from]))
                ++from;
        }
        result += word.first(from);
        result += MaskFrom(word, from);
    }
    return result;
}
