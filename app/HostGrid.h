#pragma once
// The host list grid: a table view over the host list, whose editing rules live in
// THostListEditor; this only shows the list and maps keys and clicks to those rules.
#include "hosts/HostList.h"
#include "hosts/HostListDocument.h"
#include "hosts/HostListEditor.h"

#include <QAbstractTableModel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <memory>

class THostListModel : public QAbstractTableModel, public THostListObserver {
    Q_OBJECT

  public:
    THostListModel(THostListEditor& AEditor, QObject* AParent);

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& AIndex, int ARole) const override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override;

    // The whole list was replaced.
    void Reset();

  signals:
    void CurrentCellChanged(int ARow, int ACol);
    void AddressSelected(const QString& AAddress);

  private:
    void RowsAboutToBeInserted(std::size_t AFirst, std::size_t ACount) override;
    void RowsInserted() override;
    void RowsAboutToBeRemoved(std::size_t AFirst, std::size_t ACount) override;
    void RowsRemoved() override;
    void RowChanged(std::size_t ARow) override;
    void CurrentChanged(std::size_t ARow, int ACol) override;
    void RowSelected(std::string_view AAddress) override;

    THostListEditor& FEditor;
};

// Draws the grid's cells as the view does, but for an IPv6 address too long for its cell:
// that is shortened in its middle, as the status line shortens it, and the model gives it
// whole as the cell's tooltip.
class THostCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // What the cell of AIndex shows in AOption's rectangle, in its text.
    void initStyleOption(QStyleOptionViewItem* AOption, const QModelIndex& AIndex) const override;
};

class THostGrid : public QTableView {
    Q_OBJECT

  public:
    // A cell's height; the grid line below it comes on top, as the line right of it does.
    static constexpr int RowHeight = 18;
    static constexpr int GridLine = 1;
    static constexpr int AddressWidth = 98;

    // A grid with a list of its own.
    explicit THostGrid(QWidget* AParent);
    // A grid over a list that outlives it.
    THostGrid(THostListDocument& ADocument, QWidget* AParent);
    ~THostGrid() override;

    THostList& List() { return FList; }
    THostListEditor& Editor() { return FEditor; }
    // Call after the list was replaced behind the grid's back (loaded from its file).
    void ListReset();

    // Whether the Tab key may move the focus into the grid.
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool AValue);

    // The in-place editor of the current cell; it holds the focus whenever the grid has it.
    QLineEdit* CellEditor() const { return FCellEditor; }

  signals:
    // A cell of an entry's row became current; the entry's address as stored.
    void SelectCell(const QString& AAddress);

  protected:
    bool event(QEvent* AEvent) override;
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;
    void changeEvent(QEvent* AEvent) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
    void keyPressEvent(QKeyEvent* AEvent) override;
    void resizeEvent(QResizeEvent* AEvent) override;
    void scrollContentsBy(int ADx, int ADy) override;
    void updateGeometries() override;

  private:
    THostGrid(std::unique_ptr<THostListDocument> AOwn, QWidget* AParent);
    bool HandleKey(QKeyEvent* AEvent);
    void CellTextEdited(const QString& AText);
    QModelIndex CurrentCell() const;
    void SyncCellEditorText();
    void ShowCurrentCell();
    void PlaceCellEditor();
    void FitNameColumn();
    int VisibleRows() const;
    // The cells' colour beneath the grid, or its frame's lines above it.
    void PaintFrame(bool ALines);

    std::unique_ptr<THostListDocument> FOwnDocument;
    THostList& FList;
    THostListEditor& FEditor;
    THostListModel* FModel;
    QLineEdit* FCellEditor;
    bool FTabStop = true;
};
