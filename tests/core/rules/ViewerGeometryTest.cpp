#include "core/rules/ViewerGeometry.h"

#include <gtest/gtest.h>

using namespace ViewerGeometry;

TEST(ViewerGeometry, RoundsHalvesToEven)
{
    struct Row { double in; int out; };
    for (const Row& r : {Row{150.5, 150}, Row{151.5, 152}, Row{270.67, 271}, Row{-2.5, -2},
                         Row{0.49, 0}, Row{1e12, INT_MAX}, Row{-1e12, INT_MIN}})
        EXPECT_EQ(RoundHalfEven(r.in), r.out) << r.in;
}

TEST(ViewerGeometry, ZoomRectFitsAndCentresTheBitmap)
{
    struct Row { QSize control; QSize bitmap; QRect rect; };
    const Row rows[] = {
        // sy < sx: the height fills, centred horizontally
        {{300, 203}, {640, 480}, {14, 0, 271, 203}},
        // exactly twice the size
        {{640, 480}, {320, 240}, {0, 0, 640, 480}},
        // odd width: (301 - 150) div 2 = 75
        {{301, 150}, {100, 100}, {75, 0, 150, 150}},
        // sx < sy: the width fills, centred vertically
        {{800, 800}, {1920, 1080}, {0, 175, 800, 450}},
        // bw x s = 150.5 rounds to 150 (half to even), 151.5 to 152
        {{301, 1000}, {2, 1}, {0, 425, 301, 150}},
        {{303, 1000}, {2, 1}, {0, 424, 303, 152}},
        // empty bitmap: scale 1, empty rectangle in the middle
        {{300, 200}, {0, 0}, {150, 100, 0, 0}},
        // empty control
        {{0, 0}, {640, 480}, {0, 0, 0, 0}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ZoomRect(r.control, r.bitmap), r.rect) << r.control.width() << "x"
                                                         << r.control.height();
}

TEST(ViewerGeometry, DecodeScaleIsTheSmallestDecodeThatStillCoversTheZoomedPicture)
{
    struct Row { QSize image; QSize control; int scale; };
    const Row rows[] = {
        // a Full HD webcam in a 320 x 200 window (picture area 320 x 181): 1/8 gives 240 x 135,
        // too small; 1/4 gives 480 x 270
        {{1920, 1080}, {320, 181}, 4},
        // the shown size exactly reached at 1/8, and one pixel beyond it
        {{1920, 1080}, {240, 135}, 8},
        {{1920, 1080}, {241, 136}, 4},
        // the decoder rounds each side up: 1001 x 601 at 1/8 is 126 x 76, which covers 126 x 76
        {{1001, 601}, {126, 76}, 8},
        {{640, 480}, {320, 240}, 2},
        {{640, 480}, {322, 242}, 1},
        // a window larger than the picture, or 100%: full size
        {{320, 240}, {640, 480}, 1},
        {{1920, 1080}, {1920, 1080}, 1},
        // nothing laid out yet, or no picture: full size
        {{1920, 1080}, {0, 0}, 1},
        {{0, 0}, {320, 181}, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DecodeScale(r.image, r.control), r.scale)
            << r.image.width() << "x" << r.image.height() << " in " << r.control.width() << "x"
            << r.control.height();
}

TEST(ViewerGeometry, CanResizeAppliesMinimumAndProportion)
{
    const QSize screen(1920, 1080);
    struct Row
    {
        const char* what;
        QSize proposed;
        ResizeContext context;
        QSize size;
        bool record;
    };
    const Row rows[] = {
        {"minimum only", {100, 120}, {{640, 480}, screen, false, false, true, true}, {150, 150},
         true},
        {"free resize keeps the size", {500, 300}, {{640, 480}, screen, false}, {500, 300}, true},
        // pw = 78.125, ph = 281 * 100 / 480 = 58.54: p = pw, 500 x 375 + 19
        {"proportional, status shown", {500, 300}, {{640, 480}, screen, true, false, true, true},
         {500, 394}, true},
        {"proportional, no status bar", {500, 300}, {{640, 480}, screen, true, false, true, false},
         {500, 375}, true},
        {"already proportional", {640, 499}, {{640, 480}, screen, true, false, true, true},
         {640, 499}, true},
        {"taller drag wins", {200, 400}, {{400, 200}, screen, true, false, true, false},
         {800, 400}, true},
        {"larger than the screen gives the screen", {1900, 300},
         {{1000, 1000}, screen, true, false, true, true}, {1920, 1080}, false},
        {"while resizing by program only the minimum", {500, 300},
         {{640, 480}, screen, true, true, true, true}, {500, 300}, true},
        {"maximised: only the minimum", {1920, 1080}, {{640, 480}, screen, true, false, false, true},
         {1920, 1080}, true},
        {"no image yet: no proportion", {500, 300}, {{0, 0}, screen, true, false, true, true},
         {500, 300}, true},
        {"half-way rounding to even", {151, 150}, {{2, 1}, screen, true, false, true, false},
         {300, 150}, true},
    };
    for (const Row& r : rows) {
        const ResizeResult got = CanResize(r.proposed, r.context);
        EXPECT_EQ(got.Size, r.size) << r.what;
        EXPECT_EQ(got.Record, r.record) << r.what;
    }
}

TEST(ViewerGeometry, SizeCommandsAskForTheirClientSizes)
{
    struct Row { SizeCommand command; QSize image; QSize size; };
    const Row rows[] = {
        {SizeCommand::S300x200, {640, 480}, {300, 200}},
        {SizeCommand::S600x400, {0, 0}, {600, 400}},
        {SizeCommand::Half, {641, 481}, {320, 240}},
        {SizeCommand::Full, {641, 481}, {641, 481}},
        // 101 x 1.5 = 151.5 -> 152, 99 x 1.5 = 148.5 -> 148
        {SizeCommand::OneAndHalf, {101, 99}, {152, 148}},
        {SizeCommand::OneAndHalf, {640, 480}, {960, 720}},
        {SizeCommand::Double, {320, 241}, {640, 482}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SizeCommandClient(r.command, r.image), r.size) << int(r.command);
}

TEST(ViewerGeometry, SizeCaptionShowsTheScaleDrawnAndTheOuterSize)
{
    struct Row { QSize area; QSize image; QSize outer; const char* caption; };
    const Row rows[] = {
        {{300, 203}, {600, 400}, {308, 253}, "50% (308*253)"},
        {{640, 461}, {640, 480}, {640, 480}, "96% (640*480)"},
        {{1280, 960}, {640, 480}, {1280, 979}, "200% (1280*979)"},
        // a large webcam that the screen bounds: two thirds, rounded, not the command's 100 %
        {{1280, 781}, {1920, 1080}, {1280, 800}, "67% (1280*800)"},
        // a window wider than the picture: the height decides
        {{640, 480}, {640, 240}, {640, 499}, "100% (640*499)"},
        // no image yet: no scale to tell, the window's size alone
        {{300, 200}, {0, 0}, {300, 219}, "300*219"},
        {{0, 0}, {640, 480}, {150, 19}, "0% (150*19)"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SizeCaption(r.area, r.image, r.outer), QString::fromLatin1(r.caption));
}

TEST(ViewerGeometry, CascadeOffsetsFromTheLastNewWindowAndStaysInTheWorkArea)
{
    const QRect work(0, 30, 1280, 770);
    struct Row
    {
        QRect last;
        QSize size;
        QPoint pos;
    };
    const Row rows[] = {
        {{486, 303, 308, 253}, {308, 253}, {510, 327}},
        {{100, 100, 640, 480}, {308, 253}, {124, 124}},
        // the next step would reach past the bottom: back to the top-left corner
        {{486, 530, 308, 253}, {308, 253}, {0, 30}},
        // past the right edge
        {{970, 100, 308, 253}, {308, 253}, {0, 30}},
        // the last one sits in that corner already: one step from it
        {{0, 30, 1280, 770}, {308, 253}, {24, 54}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(CascadePosition(r.last, r.size, work), r.pos) << r.last.x() << "," << r.last.y();
}

TEST(ViewerGeometry, CountdownTextPicksTheMessage)
{
    const QString many = QStringLiteral("%d seconds");
    const QString one = QStringLiteral("1 second");
    const QString zero = QStringLiteral("Checking...");
    struct Row { int n; QString timeLeft; const char* text; };
    const Row rows[] = {
        {5, many, "5 seconds"},
        {2, many, "2 seconds"},
        {1, many, "1 second"},
        {0, many, "Checking..."},
        {-1, many, "-1 seconds"},
        {-2, many, "-2 seconds"},
        // a translated text: only the first %d is replaced, other percent signs stay
        {3, QStringLiteral("noch %d s (%s) %d"), "noch 3 s (%s) %d"},
        {4, QStringLiteral("bald"), "bald"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(CountdownText(r.n, r.timeLeft, one, zero), QString::fromLatin1(r.text)) << r.n;
}

TEST(ViewerGeometry, CentresTruncatingTowardZero)
{
    EXPECT_EQ(CenteredPosition({1920, 1080}, {308, 253}), QPoint(806, 413));
    EXPECT_EQ(CenteredPosition({1921, 1081}, {300, 200}), QPoint(810, 440));
    // a window larger than the screen: -1.5 truncates to -1, not -2
    EXPECT_EQ(CenteredPosition({800, 600}, {803, 603}), QPoint(-1, -1));
}

TEST(ViewerGeometry, MagnetSnapsEdgesWithin15Pixels)
{
    const QRect work(0, 30, 1920, 1050); // a panel of 30 pixels at the top
    struct Row { QRect frame; QPoint pos; };
    const Row rows[] = {
        {{400, 400, 300, 200}, {400, 400}},        // far from every edge
        {{15, 400, 300, 200}, {0, 400}},           // left edge 15 away snaps
        {{16, 400, 300, 200}, {16, 400}},          // 16 away stays
        {{-10, 400, 300, 200}, {0, 400}},          // beyond the edge snaps back
        {{400, 44, 300, 200}, {400, 30}},          // top edge of the work area, not the screen
        {{1610, 400, 300, 200}, {1620, 400}},      // right edge 10 away
        {{400, 868, 300, 200}, {400, 880}},        // bottom edge 12 away
        {{1625, 870, 300, 200}, {1620, 880}},      // corner
        {{5, 400, 1925, 200}, {0, 400}},           // both edges close: the left one wins
    };
    for (const Row& r : rows)
        EXPECT_EQ(MagnetPosition(r.frame, work), r.pos) << r.frame.x() << "," << r.frame.y();
}

TEST(ViewerGeometry, OpacityStopsAtItsFloor)
{
    EXPECT_EQ(AlphaStep(255, 5), 255);
    EXPECT_EQ(AlphaStep(252, 5), 255);
    EXPECT_EQ(AlphaStep(28, -5), MinimumAlpha);
    // However often Ctrl+Down is pressed, the window stays visible (about 10 %).
    int alpha = 255;
    for (int i = 0; i < 200; ++i)
        alpha = AlphaStep(alpha, -5);
    EXPECT_EQ(alpha, MinimumAlpha);
    EXPECT_NEAR(MinimumAlpha / 255.0, 0.10, 0.01);
    // A saved value below the floor is raised to it; one above 255 is cut.
    EXPECT_EQ(ClampAlpha(1), MinimumAlpha);
    EXPECT_EQ(ClampAlpha(300), 255);
    EXPECT_EQ(ClampAlpha(128), 128);
}

TEST(ViewerGeometry, CustomIntervalTakesOnlyAWholeNumberOfZeroOrMore)
{
    struct Row { const char* text; std::optional<int> value; };
    for (const Row& r : {Row{"15", 15}, Row{" 7 ", 7}, Row{"0", 0}, Row{"-5", std::nullopt},
                         Row{"-0", 0}, Row{"abc", std::nullopt}, Row{"", std::nullopt},
                         Row{"12s", std::nullopt}, Row{"1.5", std::nullopt},
                         Row{"99999999999", std::nullopt}})
        EXPECT_EQ(ParseInterval(QString::fromLatin1(r.text)), r.value) << r.text;
}

TEST(ViewerGeometry, EdgeResizeMovesOnlyTheDraggedEdges)
{
    const QSize size(300, 200);
    struct EdgeRow { QPoint pos; int edges; };
    for (const EdgeRow& r : {EdgeRow{{150, 100}, 0}, EdgeRow{{0, 100}, EdgeLeft},
                             EdgeRow{{299, 100}, EdgeRight}, EdgeRow{{150, 0}, EdgeTop},
                             EdgeRow{{296, 199}, EdgeRight | EdgeBottom},
                             EdgeRow{{3, 3}, EdgeLeft | EdgeTop}, EdgeRow{{4, 4}, 0}})
        EXPECT_EQ(EdgesAt(r.pos, size), r.edges) << r.pos.x() << "," << r.pos.y();

    const QRect start(100, 100, 300, 200);
    EXPECT_EQ(DragFrame(start, EdgeRight | EdgeBottom, {50, -20}), QRect(100, 100, 350, 180));
    EXPECT_EQ(DragFrame(start, EdgeLeft | EdgeTop, {50, -20}), QRect(150, 80, 250, 220));
    EXPECT_EQ(DragFrame(start, 0, {50, -20}), start);
    // the size rule changed the size: the dragged edge moves, the opposite one stays put
    EXPECT_EQ(AnchorFrame(start, EdgeLeft | EdgeTop, {150, 150}), QRect(250, 150, 150, 150));
    EXPECT_EQ(AnchorFrame(start, EdgeRight | EdgeBottom, {150, 150}), QRect(100, 100, 150, 150));
}

TEST(ViewerGeometry, SiteAddressGetsAWebSchemeWhenItHasNone)
{
    struct Row { const char* in; const char* out; };
    const Row rows[] = {
        {"http://cam.example.org/", "http://cam.example.org/"},
        {"HTTPS://cam.example.org", "HTTPS://cam.example.org"},
        {"www.example.org", "http://www.example.org"},
        {"  www.example.org/a b ", "http://www.example.org/a b"},
        {"example.org:8080/cam", "http://example.org:8080/cam"},
        // a scheme other than the web's stays as it is: the desktop layer refuses it
        {"file:///etc/passwd", "file:///etc/passwd"},
        {"javascript:alert(1)", "javascript:alert(1)"},
        {"", ""},
        // a mail address as the send-mail button builds it: no headers
        {"MAILTO:cam@example.org", "mailto:cam@example.org"},
        {"mailto:cam@example.org?attach=/home/user/.ssh/id_rsa", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SiteAddress(QString::fromLatin1(r.in)), QString::fromLatin1(r.out)) << r.in;
}

TEST(ViewerGeometry, MailLinkTakesAPlainAddressOnlyAndNoHeaders)
{
    struct Row { const char* in; const char* out; };
    const Row rows[] = {
        {"webmaster@cam.example.org", "mailto:webmaster@cam.example.org"},
        {"  mailto:Jo.Smith@example.org ", "mailto:Jo.Smith@example.org"},
        {"o'neil+cams@x-y.example", "mailto:o%27neil%2Bcams@x-y.example"},
        {"100%&co@localhost", "mailto:100%25%26co@localhost"},
        {"j\xc3\xbc" "rgen@b\xc3\xbc" "cher.example", "mailto:j%C3%BCrgen@b%C3%BCcher.example"},
        // headers, more recipients, or anything a mail program could read as such
        {"a@b.org?attach=/home/user/.ssh/id_rsa", ""},
        {"a@b.org?body=x", ""},
        {"a@b.org,c@d.org", ""},
        {"a@b.org;c@d.org", ""},
        {"a@b.org&attach=x", ""},
        {"a@b.org#x", ""},
        {"a b@c.org", ""},
        {"a@b.org\n", "mailto:a@b.org"}, // a line break at the end is only a blank
        {"a\r\nattach=x@b.org", ""},
        {"a\x01@b.org", ""},
        {"\"a\"@b.org", ""},
        {"<a@b.org>", ""},
        {"a@[127.0.0.1]", ""},
        {"a@b@c.org", ""},
        {"@b.org", ""},
        {"a@", ""},
        {"a@-b.org", ""},
        {"a@b..org", ""},
        {".a@b.org", ""},
        {"a.@b.org", ""},
        {"webmaster", ""},
        {"", ""},
        {"mailto:", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(MailLink(QString::fromUtf8(r.in)), QString::fromLatin1(r.out)) << r.in;
    EXPECT_EQ(MailLink(QString(250, 'a') + "@b.org"), QString());
}

TEST(ViewerGeometry, KeepOnScreenMovesIntoTheScreenHoldingMostAndShrinksWhatDoesNotFit)
{
    // A laptop panel with a larger monitor to its right, its work area under a 30-pixel top bar.
    const QList<QRect> areas = {QRect(0, 0, 1280, 800), QRect(1280, 30, 1920, 1050)};
    struct Row
    {
        const char* what;
        QRect frame;
        QRect placed;
    };
    const Row rows[] = {
        {"inside stays", {100, 100, 320, 240}, {100, 100, 320, 240}},
        {"over the corner, mostly the monitor", {1100, 700, 320, 240}, {1280, 700, 320, 240}},
        // 1920 x 1080 at 100% with its status bar, opened on the panel: reduced to the panel
        {"larger than the panel", {0, 0, 1920, 1099}, {0, 0, 1280, 800}},
        {"larger, mostly on the monitor", {200, 100, 1920, 1099}, {1280, 30, 1920, 1050}},
        {"mostly on the panel, over its bottom", {100, 700, 320, 240}, {100, 560, 320, 240}},
        {"across both, mostly the monitor", {1200, 100, 320, 240}, {1280, 100, 320, 240}},
        {"above the monitor's work area", {2000, 0, 320, 240}, {2000, 30, 320, 240}},
        {"screen gone: nearest one", {5000, 2000, 320, 240}, {2880, 840, 320, 240}},
        {"left of everything", {-900, 10, 320, 240}, {0, 10, 320, 240}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(KeepOnScreen(r.frame, areas), r.placed) << r.what;
    EXPECT_EQ(KeepOnScreen(QRect(-50, -50, 10, 10), {}), QRect(-50, -50, 10, 10));
    EXPECT_EQ(AreaHoldingMost(QRect(0, 0, 10, 10), {}), -1);
}
