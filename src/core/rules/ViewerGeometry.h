#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

// The arithmetic of the viewer window and its zooming image: where the image is drawn, which
// sizes the window may take, the texts of its status bar and the snapping of its edges. Pure
// functions, so that every rule is tested without a window.
namespace ViewerGeometry {

// Height of the viewer's status bar in pixels; the size rules take it off and add it back.
inline constexpr int StatusBarHeight = 19;
// Smallest outer width and height of a viewer.
inline constexpr int MinimumSize = 150;
// An edge that comes this close to a work-area edge while the window is moved snaps to it.
inline constexpr int MagnetDistance = 15;
// Width of the band along the window's border in which a press starts a resize.
inline constexpr int ResizeBorder = 4;

// Nearest integer, halves to the even neighbour (150.5 -> 150, 151.5 -> 152).
int RoundHalfEven(double value);

// Where a bitmap of bitmapSize is drawn in a control of controlSize: the largest size that fits
// with the bitmap's aspect ratio, centred. An empty bitmap gives an empty rectangle at the centre.
QRect ZoomRect(QSize controlSize, QSize bitmapSize);

// The reduced scale 1/n (n = 1, 2, 4 or 8) at which a viewer decodes an image of imageSize for a
// control of controlSize: the largest n whose decoded size (each side rounded up, as the decoder
// does) still covers ZoomRect on both sides, so the window never shows fewer pixels than it has.
// An empty image or control (not laid out yet) gives 1, the full size.
int DecodeScale(QSize imageSize, QSize controlSize);

// What the size rule needs to know about the window besides the proposed size.
struct ResizeContext
{
    QSize Image;  // the bitmap shown; 0 x 0 before the first image
    QSize Screen; // the screen the window is on
    bool Proportional = false;
    bool Resizing = false;   // the program itself is changing the size or state
    bool StateNormal = true; // not maximised
    bool StatusShown = true;
};

struct ResizeResult
{
    QSize Size;
    // False when the proportional size did not fit the screen and the screen size was taken:
    // then nothing is recorded in the window state.
    bool Record = true;
};

// The rule every proposed window size goes through: the minimum, then (proportional resizing on,
// not resizing by program, state normal) the image's aspect ratio, with the status bar's height
// taken off before and added back after, and the screen as the upper bound.
ResizeResult CanResize(QSize proposed, const ResizeContext& context);

// The size commands of the viewer and the client size each asks for.
enum class SizeCommand
{
    S300x200,
    S600x400,
    Half,
    Full,
    OneAndHalf,
    Double
};
QSize SizeCommandClient(SizeCommand command, QSize image);

// Caption of the size button: the scale the image is drawn at in its area (ZoomRect, rounded to
// a whole percent) and the outer size of the window, e.g. "67% (1280*800)". Without an image
// there is no scale: the outer size alone, "308*253".
QString SizeCaption(QSize imageArea, QSize image, QSize outer);

// Text of the countdown panel for n seconds left: testing (n = 0), one (n = 1), or timeLeft with
// its first "%d" replaced by n (negative values too). Only "%d" is substituted, so a translated
// text with other percent signs is shown as it stands.
QString CountdownText(int n, const QString& timeLeft, const QString& timeLeftOne,
                      const QString& testing);

// Top-left corner that centres a window of windowSize on a screen of screenSize (integer division
// truncating toward zero, as for a window larger than the screen).
QPoint CenteredPosition(QSize screenSize, QSize windowSize);

// The edge magnet: the top-left corner a window frame takes when moved to frame. On each axis an
// edge within distance pixels of the work area's matching edge snaps to it; the near edge
// (left, top) wins when both are close.
QPoint MagnetPosition(const QRect& frame, const QRect& workArea, int distance = MagnetDistance);

// Of the screens' work areas, the index of the one that holds the largest part of frame; when
// none holds any of it, the one whose centre lies nearest to the frame's centre. -1 without areas.
int AreaHoldingMost(const QRect& frame, const QList<QRect>& areas);

// Where a window of frame goes so that it lies wholly on a screen: inside the work area that holds
// most of it (AreaHoldingMost), its width and height first reduced to the area's when larger, then
// moved by the least distance that brings it inside. A frame already inside is returned as it
// stands; without areas too.
QRect KeepOnScreen(const QRect& frame, const QList<QRect>& areas);

// The least opacity a viewer takes (about 10 %): below it the window is an invisible surface
// that still takes the clicks meant for what lies under it.
inline constexpr int MinimumAlpha = 26;

// An opacity kept within MinimumAlpha..255 (a saved value below the floor is raised to it).
int ClampAlpha(int alpha);
// Window opacity after one step of Ctrl+Up (+5) or Ctrl+Down (-5), kept within ClampAlpha.
int AlphaStep(int alpha, int delta);

// Where a new viewer without a saved place goes when the last new one lies at last: offset by
// step to the right and down, so that neither hides the other. When the window would then reach
// past the work area's right or bottom edge, the cascade starts again at the work area's top-left
// corner (moved by step from it when that is the last window's place).
QPoint CascadePosition(const QRect& last, QSize size, const QRect& workArea, int step = 24);

// The custom refresh interval typed by the user: the text as a decimal integer of 0 (always
// refresh) or more, blanks around it allowed; nothing for anything else (a negative number, a
// fraction, a word, an empty text).
std::optional<int> ParseInterval(const QString& text);

// Edges of the window's border under a point; a combination of these flags, 0 for the inside.
enum Edge
{
    EdgeLeft = 1,
    EdgeTop = 2,
    EdgeRight = 4,
    EdgeBottom = 8
};
int EdgesAt(QPoint pos, QSize size, int border = ResizeBorder);

// The frame proposed while the user drags the given edges by delta from the frame start.
QRect DragFrame(const QRect& start, int edges, QPoint delta);

// Places a size that the size rule changed: the dragged edges move, the opposite ones stay.
QRect AnchorFrame(const QRect& start, int edges, QSize size);

// The address the home-page button opens: as it stands when it names a scheme ("https://...",
// "mailto:..."), otherwise taken as a web address ("www.example.org" -> "http://www.example.org").
// Empty stays empty. Which schemes are then opened is the desktop layer's decision; a mailto
// address goes through MailLink, so a home page cannot smuggle headers either.
QString SiteAddress(const QString& homepage);

// The mailto: link of the send-mail button, built from a webcam's Email: a plain address
// (local@domain, an optional "mailto:" in front, blanks around it ignored), percent-encoded, with
// no headers. Anything else gives an empty text and no link: a second "@", a "?" (headers such as
// attach= or body=), a "," or ";" (more recipients), blanks, control characters, quotes, brackets,
// an empty or dotted-out part, a domain with other signs than letters, digits, "-" and ".", or
// more than 254 characters.
QString MailLink(const QString& email);

} // namespace ViewerGeometry
