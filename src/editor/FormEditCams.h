#pragma once

#include "base/DragWithinView.h"
#include "base/Window.h"

#include <QModelIndex>
#include <QTreeView>
#include <memory>
#include <vector>

class QFileDialog;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class TCamEditTree;
class TFileWriter;
struct TFileWritten;

// The editor's tree view: a node dragged within it is handed to the editor's drag handlers, which
// move it; the view itself moves and removes nothing.
using TCamListView = TDragWithinView<QTreeView>;

// "Edit Cams": the catalogue as a tree of its own copies, where the user adds, renames, edits,
// moves and deletes categories and webcams and exports a node to a .cam or .cal file. Nothing
// reaches the catalogue until OK, which rebuilds the catalogue from the tree, rebuilds the tray
// menu (an open chooser reloads) and saves the settings. Cancel, Escape and the close box discard
// the tree; Enter runs no button. Not modal; the window frees itself when closed.
class TfoEditCams : public TSDialog
{
    Q_OBJECT

public:
    explicit TfoEditCams(QWidget* parent = nullptr);
    ~TfoEditCams() override;

    // Fills the tree from the catalogue (CamViewer's Root).
    void LoadTree();
    // Selects the first webcam node, from top to bottom, with exactly this Url; none: nothing.
    void SelectWebcam(const QString& url);
    // Rebuilds the catalogue from the tree when it was modified.
    void ApplyTree();

    bool Modified() const { return FModified; }
    TCamEditTree* Tree() const { return FTree; }
    // The selected node; invalid when none.
    QModelIndex Selected() const;
    void Select(const QModelIndex& index);

    // Drag within the tree: whether a drop onto target is taken, and the drop itself, which moves
    // the selected node before target.
    bool CamListDragOver(const QModelIndex& target) const;
    void CamListDragDrop(const QModelIndex& target);

    // The export of the selected node to the file the save dialog returned. The document is built
    // from the working copies now; the file is written off the user-interface thread, and a
    // failure is reported with the system's reason.
    void SaveDialog1Accepted(const QString& path);
    // An export is being written.
    bool Exporting() const { return FExporting > 0; }

public slots:
    void CamListChange();
    void CatNameChange();
    void CamNameChange();
    void AddButtonClick();
    void AddCamButtonClick();
    void DeleteButtonClick();
    void ExportButtonClick();
    // OK: the tree reaches the catalogue and the settings are saved; then the window closes.
    void accept() override;

protected:
    void BuildLayout() override;
    void FormCreate() override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetModified();
    // withCredentials: how many of the exported webcams had a user name or password left out.
    void ExportDone(const TFileWritten& result, int withCredentials);

    TCamEditTree* FTree = nullptr;
    TCamListView* CamList = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* AddCamButton = nullptr;
    QPushButton* ExportButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QStackedWidget* Pages = nullptr;
    QWidget* CatSheet = nullptr;
    QWidget* CamSheet = nullptr;
    QWidget* NullSheet = nullptr;
    QLineEdit* CatName = nullptr;
    QLineEdit* CamName = nullptr;
    QLineEdit* CamUrl = nullptr;
    QLineEdit* CamReferer = nullptr;
    QLineEdit* CamHome = nullptr;
    QLineEdit* CamEmail = nullptr;
    QSpinBox* CamRefresh = nullptr;
    bool FModified = false;
    bool Updating = false;
    QPersistentModelIndex ExportNode;
    int FExporting = 0;
    std::vector<std::shared_ptr<TFileWriter>> Writers;
};
