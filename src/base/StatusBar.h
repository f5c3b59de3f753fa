#pragma once

#include <QLabel>
#include <QList>
#include <QWidget>

class QHBoxLayout;

// One panel of a TStatusBar: a text with a width. A language file sets its Text (or Caption),
// Hint, Width and Alignment through the status bar's Panels collection.
class TStatusPanel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(int Width READ Width WRITE SetWidth)

public:
    explicit TStatusPanel(QWidget* parent = nullptr);

    // Fixed width in pixels; a negative width lets the panel take the room that is left.
    int Width() const { return FWidth; }
    void SetWidth(int width);

private:
    int FWidth = -1;
};

// A status bar of panels side by side, as the viewer, the mosaic and the chooser have it. The
// panels form the collection Panels that a language file addresses by Index:
//     <StatusBar><Panels><Item Index="1" Text="..."/></Panels></StatusBar>
class TStatusBar : public QWidget
{
    Q_OBJECT

public:
    explicit TStatusBar(QWidget* parent = nullptr);

    // Appends a panel of the given width (negative: the rest of the bar).
    TStatusPanel* AddPanel(int width, const QString& text = QString());
    const QList<TStatusPanel*>& Panels() const { return FPanels; }
    // The panel at index; null when there is none.
    TStatusPanel* Panel(int index) const;

private:
    QHBoxLayout* Layout = nullptr;
    QList<TStatusPanel*> FPanels;
};
