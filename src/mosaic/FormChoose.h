#pragma once

#include "base/Window.h"
#include "core/net/ThumbnailFeed.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <memory>

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;
class TCamCategory;
class TCamWebcam;
class TStatusBar;

// "Choose a Webcam": the catalogue's categories as a tree and, for the chosen category, its webcams
// as thumbnails of 120 x 90, fetched once each, in order, by a thumbnail thread. From the list the
// user opens viewers or deletes webcams; hovering over one shows its details. The webcams at the
// top level of the catalogue have a node of their own, first. While the catalogue is empty, the
// window offers the two ways in instead: a new webcam in the editor, or a list imported.
//
// Tree nodes carry their category's position below the root, list items their webcam's Url and
// position: both are looked up in the catalogue when used, so a rebuilt catalogue is never reached
// through a stale pointer.
class TfoChoose : public TSForm
{
    Q_OBJECT

public:
    explicit TfoChoose(QWidget* parent = nullptr);
    ~TfoChoose() override;

    // Empties the tree (no category is then chosen) and fills it again from the catalogue.
    void ReloadTree();
    bool IsFetching() const { return Thread != nullptr; }
    // The thumbnails that have arrived for the current list, in list order.
    const QList<QPixmap>& CamImages() const { return FCamImages; }

    // Carries menu as the window's menu bar (where the desktop has no notification area, the
    // tray menu's commands are reached here).
    void SetMainMenu(QMenu* menu);

    // The feed's events, run on the user-interface thread.
    void NextWebcam(const TMireNext& next);
    void ImageArrived(TMireImage& image);

    // The hover text of a list item.
    QString CamListInfoTip(QListWidgetItem* item) const;
    // The thumbnail for a picture fitted into 120 x 90 (an empty one gives the error picture):
    // the bars beside or above it transparent. It holds pixelRatio device pixels per pixel.
    static QPixmap MakeThumbnail(const QImage& picture, qreal pixelRatio = 1.0);

public slots:
    void CamTreeChange();
    void CamListDblClick();
    void actViewExecute();
    void actEditExecute();
    void actDeleteExecute();
    void AddCamButtonClick();
    void ImportButtonClick();

protected:
    void BuildLayout() override;
    void FormCreate() override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillTree(QTreeWidgetItem* parent, const TCamCategory& category, QList<int> path);
    // The category of the selected tree node; null when none is selected or it is gone.
    TCamCategory* CurrentCategory() const;
    // The catalogue webcam of a list item; null when it is no longer there.
    TCamWebcam* WebcamOf(const QListWidgetItem* item) const;
    QList<QListWidgetItem*> SelectedInOrder() const;
    // Removes the webcams of these Urls from the chosen category (the user said yes).
    void DeleteWebcams(const QStringList& urls);

    QTreeWidget* CamTree = nullptr;
    QSplitter* Splitter1 = nullptr;
    QListWidget* CamList = nullptr;
    TStatusBar* StatusBar = nullptr;
    QWidget* WelcomePanel = nullptr;
    QLabel* WelcomeLabel = nullptr;
    QPushButton* AddCamButton = nullptr;
    QPushButton* ImportButton = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* actClose = nullptr;
    QAction* actView = nullptr;
    QAction* actEdit = nullptr;
    QAction* actDelete = nullptr;
    QList<QPixmap> FCamImages;
    // The last failure of each webcam by Url, for the hover text.
    QHash<QString, TFetchFailure> FFailures;
    std::shared_ptr<TMireThread> Thread;
};
