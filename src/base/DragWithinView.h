#pragma once

#include <QAbstractItemView>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPoint>
#include <QWidget>
#include <functional>

// An item view whose entries are rearranged by dragging them within it. It takes only drags that
// it started itself; CanDrop says whether the point under the pointer (in the viewport) takes the
// drop, and Drop does the change. The view itself moves and removes nothing: the item views' own
// drag would remove the dragged rows once a drop answers with a move.
//
// DropAction is what the drop reports (the pointer shows it): Qt::MoveAction for a move,
// Qt::CopyAction where the drop exchanges entries. A copy keeps the item view's own drag, which
// shows the dragged entries under the pointer.
template <class TView> class TDragWithinView : public TView
{
public:
    explicit TDragWithinView(QWidget* parent, Qt::DropAction dropAction)
        : TView(parent), DropAction(dropAction)
    {
        this->setDragEnabled(true);
        this->setAcceptDrops(true);
        this->setDragDropMode(QAbstractItemView::DragDrop);
        this->setDefaultDropAction(dropAction);
    }

    std::function<bool(const QPoint& pos)> CanDrop;
    std::function<void(const QPoint& pos)> Drop;

protected:
    void startDrag(Qt::DropActions supportedActions) override
    {
        if (DropAction == Qt::CopyAction) {
            TView::startDrag(supportedActions);
            return;
        }
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setData(QStringLiteral("application/x-pictavo-dragged-entry"), QByteArray());
        drag->setMimeData(mime);
        drag->exec(DropAction);
    }

    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->source() == this)
            Take(event);
        else
            event->ignore();
    }

    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (Takes(event))
            Take(event);
        else
            event->ignore();
    }

    void dropEvent(QDropEvent* event) override
    {
        if (!Takes(event)) {
            event->ignore();
            return;
        }
        if (Drop)
            Drop(event->position().toPoint());
        Take(event);
    }

private:
    bool Takes(const QDropEvent* event) const
    {
        return event->source() == this && CanDrop && CanDrop(event->position().toPoint());
    }

    void Take(QDropEvent* event) const
    {
        event->setDropAction(DropAction);
        event->accept();
    }

    Qt::DropAction DropAction;
};
