#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QEvent;
class QWidget;

// Moving and resizing of a window that has no title bar and no frame of its own.
//
// A left press on a move surface (the viewer's picture) drags the window; while it moves, an edge
// that comes within the magnet distance of the work area's edge snaps to it. A left press within
// the resize border of the window's edge, on the window or on any watched surface, resizes the
// window at the edges under the cursor: every proposed size goes through the window's size rule,
// and the dragged edges move while the opposite ones stay. Hovering over the border shows the
// matching resize cursor. On Wayland, where no client places its own window, the compositor does
// the move or the resize.
//
// The frame only filters events: it owns no widget and changes nothing but the window's place and
// size. It lives as long as the window (a child object of it).
class TFramelessFrame : public QObject
{
    Q_OBJECT

public:
    // What the frame asks of the window.
    struct THooks
    {
        // The window's size rule (FormCanResize): gets a proposed outer size, returns the size
        // the window may take. It may record the size.
        std::function<QSize(QSize)> CanResize;
        // Called after each resize step and at the end of a move or resize: the window records
        // its place and size.
        std::function<void()> Record;
    };

    TFramelessFrame(QWidget* window, THooks hooks);

    // A press inside this surface (not on the border) moves the window.
    void AddMoveSurface(QWidget* surface);
    // Only the border band of this surface resizes; other presses go to the surface itself.
    void AddEdgeSurface(QWidget* surface);

    // What a left press at pos (window coordinates) on source does: a combination of
    // ViewerGeometry's edge flags for a resize, MoveArea for a move, 0 for nothing.
    int HitTest(const QWidget* source, QPoint pos) const;
    static constexpr int MoveArea = 0x100;

    // A move or a resize is under way.
    bool Active() const { return Dragging; }
    // An edge resize is under way: sizes set now have been through the size rule already.
    bool ResizingEdges() const { return Dragging && DragEdges != 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool HandleMouse(QWidget* source, QEvent* event);
    void ShowCursor(QWidget* source, QPoint pos) const;
    QRect WorkArea() const;

    QWidget* Window;
    THooks Hooks;
    QList<QWidget*> MoveSurfaces;
    int DragEdges = 0;
    bool Dragging = false;
    QPoint DragStart;
    QRect DragFrame;
};
