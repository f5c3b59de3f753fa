#include "viewer/FramelessFrame.h"

#include "core/rules/ViewerGeometry.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

using namespace ViewerGeometry;

TFramelessFrame::TFramelessFrame(QWidget* window, THooks hooks)
    : QObject(window), Window(window), Hooks(std::move(hooks))
{
    Window->setMouseTracking(true);
    Window->installEventFilter(this);
}

void TFramelessFrame::AddMoveSurface(QWidget* surface)
{
    MoveSurfaces.append(surface);
    AddEdgeSurface(surface);
}

void TFramelessFrame::AddEdgeSurface(QWidget* surface)
{
    surface->setMouseTracking(true);
    surface->installEventFilter(this);
}

int TFramelessFrame::HitTest(const QWidget* source, QPoint pos) const
{
    const int edges = EdgesAt(pos, Window->size());
    if (edges != 0)
        return edges;
    // Inside, only the picture moves the window; the status bar keeps its clicks.
    return MoveSurfaces.contains(source) ? MoveArea : 0;
}

QRect TFramelessFrame::WorkArea() const
{
    const QScreen* s = Window->screen() ? Window->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

bool TFramelessFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* source = qobject_cast<QWidget*>(watched); source && HandleMouse(source, event))
        return true;
    return QObject::eventFilter(watched, event);
}

void TFramelessFrame::ShowCursor(QWidget* source, QPoint pos) const
{
    const int edges = EdgesAt(pos, Window->size());
    auto both = [edges](int a, int b) { return (edges & (a | b)) == (a | b); };
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (both(EdgeLeft, EdgeTop) || both(EdgeRight, EdgeBottom))
        shape = Qt::SizeFDiagCursor;
    else if (both(EdgeRight, EdgeTop) || both(EdgeLeft, EdgeBottom))
        shape = Qt::SizeBDiagCursor;
    else if (edges & (EdgeLeft | EdgeRight))
        shape = Qt::SizeHorCursor;
    else if (edges & (EdgeTop | EdgeBottom))
        shape = Qt::SizeVerCursor;
    if (shape == Qt::ArrowCursor)
        source->unsetCursor();
    else
        source->setCursor(shape);
}

bool TFramelessFrame::HandleMouse(QWidget* source, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* me = static_cast<QMouseEvent*>(event);
    const QPoint global = me->globalPosition().toPoint();
    const QPoint local = source->mapTo(Window, me->position().toPoint());

    if (type == QEvent::MouseButtonPress) {
        if (me->button() != Qt::LeftButton)
            return false;
        const int hit = HitTest(source, local);
        if (hit == 0)
            return false;
        const int edges = hit == MoveArea ? 0 : hit;
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
            Window->windowHandle()) {
            if (edges == 0) {
                Window->windowHandle()->startSystemMove();
            } else {
                Qt::Edges qtEdges;
                qtEdges.setFlag(Qt::LeftEdge, edges & EdgeLeft);
                qtEdges.setFlag(Qt::TopEdge, edges & EdgeTop);
                qtEdges.setFlag(Qt::RightEdge, edges & EdgeRight);
                qtEdges.setFlag(Qt::BottomEdge, edges & EdgeBottom);
                Window->windowHandle()->startSystemResize(qtEdges);
            }
            return true;
        }
        DragEdges = edges;
        Dragging = true;
        DragStart = global;
        DragFrame = Window->geometry();
        return true;
    }
    if (type == QEvent::MouseMove) {
        if (!Dragging) {
            ShowCursor(source, local);
            return false;
        }
        const QPoint delta = global - DragStart;
        if (DragEdges == 0) {
            const QRect moved(DragFrame.topLeft() + delta, DragFrame.size());
            Window->move(MagnetPosition(moved, WorkArea()));
        } else {
            const QRect proposed = ViewerGeometry::DragFrame(DragFrame, DragEdges, delta);
            const QSize allowed = Hooks.CanResize(proposed.size());
            Window->setGeometry(AnchorFrame(DragFrame, DragEdges, allowed));
            // The rule recorded the size at the old place; a dragged left or top edge moved it.
            Hooks.Record();
        }
        return true;
    }
    // Release
    if (!Dragging || me->button() != Qt::LeftButton)
        return false;
    Dragging = false;
    DragEdges = 0;
    Hooks.Record();
    return true;
}
