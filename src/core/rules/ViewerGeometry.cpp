#include "core/rules/ViewerGeometry.h"

#include <QUrl>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace ViewerGeometry {

int RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    // nearbyint rounds in the current mode, which is to nearest with ties to even.
    const double r = std::nearbyint(value);
    if (r >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (r <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(r);
}

QRect ZoomRect(QSize controlSize, QSize bitmapSize)
{
    const int cw = controlSize.width();
    const int ch = controlSize.height();
    const int bw = bitmapSize.width();
    const int bh = bitmapSize.height();
    const double sx = bw != 0 ? static_cast<double>(cw) / bw : 1.0;
    const double sy = bh != 0 ? static_cast<double>(ch) / bh : 1.0;
    const double s = sx >= sy ? sy : sx;
    const int w = RoundHalfEven(bw * s);
    const int h = RoundHalfEven(bh * s);
    return QRect((cw - w) / 2, (ch - h) / 2, w, h);
}

int DecodeScale(QSize imageSize, QSize controlSize)
{
    if (imageSize.isEmpty() || controlSize.isEmpty())
        return 1;
    const QSize shown = ZoomRect(controlSize, imageSize).size();
    for (int n : {8, 4, 2}) {
        const int w = (imageSize.width() + n - 1) / n;
        const int h = (imageSize.height() + n - 1) / n;
        if (w >= shown.width() && h >= shown.height())
            return n;
    }
    return 1;
}

ResizeResult CanResize(QSize proposed, const ResizeContext& context)
{
    int w = std::max(proposed.width(), MinimumSize);
    int h = std::max(proposed.height(), MinimumSize);
    const QSize image = context.Image;
    // Without an image there is no aspect ratio to keep; a 0-wide image would otherwise collapse
    // the window to nothing.
    if (!context.Proportional || context.Resizing || !context.StateNormal || image.width() <= 0 ||
        image.height() <= 0)
        return {QSize(w, h), true};

    if (context.StatusShown)
        h -= StatusBarHeight;
    const double pw = w * 100.0 / image.width();
    const double ph = h * 100.0 / image.height();
    if (ph != pw) {
        const double p = std::max(pw, ph);
        w = RoundHalfEven(image.width() * p / 100.0);
        h = RoundHalfEven(image.height() * p / 100.0);
        if (context.Screen.height() < h || context.Screen.width() < w)
            return {context.Screen, false};
    }
    if (context.StatusShown)
        h += StatusBarHeight;
    return {QSize(w, h), true};
}

QSize SizeCommandClient(SizeCommand command, QSize image)
{
    const int w = image.width();
    const int h = image.height();
    switch (command) {
    case SizeCommand::S300x200:
        return {300, 200};
    case SizeCommand::S600x400:
        return {600, 400};
    case SizeCommand::Half:
        return {w / 2, h / 2};
    case SizeCommand::Full:
        return {w, h};
    case SizeCommand::OneAndHalf:
        return {RoundHalfEven(w * 1.5), RoundHalfEven(h * 1.5)};
    case SizeCommand::Double:
        return {w * 2, h * 2};
    }
    return {w, h};
}

QString SizeCaption(QSize imageArea, QSize image, QSize outer)
{
    const QString size = QStringLiteral("%1*%2").arg(outer.width()).arg(outer.height());
    if (image.width() <= 0 || image.height() <= 0)
        return size;
    // The scale of what is drawn: the fitted rectangle's side against the image's, on the side
    // that fits exactly (the other one has been rounded).
    const QSize drawn = ZoomRect(imageArea, image).size();
    const double sx = drawn.width() * 100.0 / image.width();
    const double sy = drawn.height() * 100.0 / image.height();
    const int percent = std::max(0, RoundHalfEven(std::min(sx, sy)));
    return QStringLiteral("%1% (%2)").arg(percent).arg(size);
}

QString CountdownText(int n, const QString& timeLeft, const QString& timeLeftOne,
                      const QString& testing)
{
    if (n == 0)
        return testing;
    if (n == 1)
        return timeLeftOne;
    QString text = timeLeft;
    const qsizetype at = text.indexOf(QLatin1String("%d"));
    if (at >= 0)
        text.replace(at, 2, QString::number(n));
    return text;
}

QPoint CenteredPosition(QSize screenSize, QSize windowSize)
{
    return {(screenSize.width() - windowSize.width()) / 2,
            (screenSize.height() - windowSize.height()) / 2};
}

namespace {
int snapAxis(int start, int length, int areaStart, int areaLength, int distance)
{
    if (std::abs(start - areaStart) <= distance)
        return areaStart;
    const int end = start + length;
    const int areaEnd = areaStart + areaLength;
    if (std::abs(end - areaEnd) <= distance)
        return areaEnd - length;
    return start;
}
} // namespace

QPoint MagnetPosition(const QRect& frame, const QRect& workArea, int distance)
{
    return {snapAxis(frame.x(), frame.width(), workArea.x(), workArea.width(), distance),
            snapAxis(frame.y(), frame.height(), workArea.y(), workArea.height(), distance)};
}

int AreaHoldingMost(const QRect& frame, const QList<QRect>& areas)
{
    int best = -1;
    qint64 bestArea = 0;
    for (int i = 0; i < areas.size(); ++i) {
        const QRect common = frame.intersected(areas[i]);
        const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = i;
        }
    }
    if (best >= 0 || areas.isEmpty())
        return best;
    // Off every screen: the nearest one by the distance between the centres.
    qint64 bestDistance = 0;
    const QPoint centre = frame.center();
    for (int i = 0; i < areas.size(); ++i) {
        const QPoint d = areas[i].center() - centre;
        const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
        if (best < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

namespace {
// Start of a span of length inside [areaStart, areaStart + areaLength), moved as little as needed;
// the span is no longer than the area.
int insideAxis(int start, int length, int areaStart, int areaLength)
{
    const int areaEnd = areaStart + areaLength;
    if (start + length > areaEnd)
        start = areaEnd - length;
    return std::max(start, areaStart);
}
} // namespace

QRect KeepOnScreen(const QRect& frame, const QList<QRect>& areas)
{
    const int index = AreaHoldingMost(frame, areas);
    if (index < 0)
        return frame;
    const QRect area = areas[index];
    const int w = std::min(frame.width(), area.width());
    const int h = std::min(frame.height(), area.height());
    return {insideAxis(frame.x(), w, area.x(), area.width()),
            insideAxis(frame.y(), h, area.y(), area.height()), w, h};
}

int ClampAlpha(int alpha)
{
    return std::clamp(alpha, MinimumAlpha, 255);
}

int AlphaStep(int alpha, int delta)
{
    return ClampAlpha(alpha + delta);
}

QPoint CascadePosition(const QRect& last, QSize size, const QRect& workArea, int step)
{
    QPoint next = last.topLeft() + QPoint(step, step);
    if (next.x() + size.width() > workArea.x() + workArea.width() ||
        next.y() + size.height() > workArea.y() + workArea.height()) {
        next = workArea.topLeft();
        if (next == last.topLeft())
            next += QPoint(step, step);
    }
    return next;
}

std::optional<int> ParseInterval(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

int EdgesAt(QPoint pos, QSize size, int border)
{
    int edges = 0;
    if (pos.x() < border)
        edges |= EdgeLeft;
    else if (pos.x() >= size.width() - border)
        edges |= EdgeRight;
    if (pos.y() < border)
        edges |= EdgeTop;
    else if (pos.y() >= size.height() - border)
        edges |= EdgeBottom;
    return edges;
}

QRect DragFrame(const QRect& start, int edges, QPoint delta)
{
    int x = start.x();
    int y = start.y();
    int w = start.width();
    int h = start.height();
    if (edges & EdgeLeft) {
        x += delta.x();
        w -= delta.x();
    } else if (edges & EdgeRight) {
        w += delta.x();
    }
    if (edges & EdgeTop) {
        y += delta.y();
        h -= delta.y();
    } else if (edges & EdgeBottom) {
        h += delta.y();
    }
    return {x, y, w, h};
}

QRect AnchorFrame(const QRect& start, int edges, QSize size)
{
    const int x = (edges & EdgeLeft) ? start.x() + start.width() - size.width() : start.x();
    const int y = (edges & EdgeTop) ? start.y() + start.height() - size.height() : start.y();
    return {QPoint(x, y), size};
}

QString SiteAddress(const QString& homepage)
{
    const QString address = homepage.trimmed();
    if (address.isEmpty())
        return address;
    // A scheme is letters, digits, "+", "-" or "." after a first letter, ended by ":".
    const qsizetype colon = address.indexOf(QLatin1Char(':'));
    bool hasScheme = colon > 0 && address.at(0).isLetter();
    for (qsizetype i = 0; hasScheme && i < colon; ++i) {
        const QChar c = address.at(i);
        hasScheme = (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('+') ||
                    c == QLatin1Char('-') || c == QLatin1Char('.');
    }
    // "host:8080/path" names a port, not a scheme.
    if (hasScheme && colon + 1 < address.size() && address.at(colon + 1).isDigit())
        hasScheme = false;
    if (hasScheme && address.left(colon).compare(QLatin1String("mailto"), Qt::CaseInsensitive) == 0)
        return MailLink(address);
    return hasScheme ? address : QStringLiteral("http://") + address;
}

namespace {

// Dot-separated parts, none empty, each character letter, digit or one of signs.
bool dotted(QStringView text, QStringView signs)
{
    if (text.isEmpty() || text.startsWith(u'.') || text.endsWith(u'.') ||
        text.contains(QStringView(u"..")))
        return false;
    for (const QChar c : text)
        if (!c.isLetterOrNumber() && c != u'.' && !signs.contains(c))
            return false;
    return true;
}

} // namespace

QString MailLink(const QString& email)
{
    QString address = email.trimmed();
    if (address.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
        address.remove(0, 7);
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (address.size() > 254 || at <= 0 || at != address.lastIndexOf(QLatin1Char('@')))
        return QString();
    const QStringView local = QStringView(address).left(at);
    const QStringView domain = QStringView(address).mid(at + 1);
    // The local part takes the signs of an address's atoms, except "?", which would start headers.
    if (!dotted(local, u"!#$%&'*+-/=^_`{|}~") || !dotted(domain, u"-"))
        return QString();
    for (QStringView label : domain.split(u'.'))
        if (label.startsWith(u'-') || label.endsWith(u'-'))
            return QString();
    return QStringLiteral("mailto:") +
           QString::fromLatin1(QUrl::toPercentEncoding(address, QByteArrayLiteral("@")));
}

} // namespace ViewerGeometry
