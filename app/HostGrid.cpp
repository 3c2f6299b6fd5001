#include "app/HostGrid.h"

#include "app/AddressFit.h"
#include "app/Guarded.h"
#include "controls/DevicePixels.h"
#include "hosts/HostListErrors.h"
#include "net/IdAddressText.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

QString Decoded(std::string_view ABytes) {
    return QString::fromLocal8Bit(ABytes.data(), static_cast<qsizetype>(ABytes.size()));
}

// Only an IPv6 address is shortened in its middle: the view cuts every other text at its end,
// as it always did.
bool IsIp6Address(std::string_view AText) {
    TIp6Address Address;
    return ParseIp6Text(AText, Address);
}

} // namespace

THostListModel::THostListModel(THostListEditor& AEditor, QObject* AParent)
    : QAbstractTableModel(AParent), FEditor(AEditor) {}

int THostListModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : static_cast<int>(FEditor.RowCount());
}

int THostListModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : 2;
}

QVariant THostListModel::data(const QModelIndex& AIndex, int ARole) const {
    if (!AIndex.isValid()) {
        return {};
    }
    const std::string_view Text =
        FEditor.CellText(static_cast<std::size_t>(AIndex.row()), AIndex.column());
    if (ARole == Qt::DisplayRole || ARole == Qt::EditRole) {
        return Decoded(Text);
    }
    if (ARole == Qt::ToolTipRole && AIndex.column() == 0 && IsIp6Address(Text)) {
        return Decoded(Text);
    }
    return {};
}

QVariant THostListModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole) {
        return {};
    }
    return ASection == 0 ? QStringLiteral("IP Address") : QStringLiteral("Name");
}

void THostListModel::Reset() {
    beginResetModel();
    endResetModel();
}

void THostListModel::RowsAboutToBeInserted(std::size_t AFirst, std::size_t ACount) {
    beginInsertRows({}, static_cast<int>(AFirst), static_cast<int>(AFirst + ACount - 1));
}

void THostListModel::RowsInserted() {
    endInsertRows();
}

void THostListModel::RowsAboutToBeRemoved(std::size_t AFirst, std::size_t ACount) {
    beginRemoveRows({}, static_cast<int>(AFirst), static_cast<int>(AFirst + ACount - 1));
}

void THostListModel::RowsRemoved() {
    endRemoveRows();
}

void THostListModel::RowChanged(std::size_t ARow) {
    const int Row = static_cast<int>(ARow);
    emit dataChanged(index(Row, 0), index(Row, 1));
}

void THostListModel::CurrentChanged(std::size_t ARow, int ACol) {
    emit CurrentCellChanged(static_cast<int>(ARow), ACol);
}

void THostListModel::RowSelected(std::string_view AAddress) {
    emit AddressSelected(Decoded(AAddress));
}

void THostCellDelegate::initStyleOption(QStyleOptionViewItem* AOption,
                                        const QModelIndex& AIndex) const {
    QStyledItemDelegate::initStyleOption(AOption, AIndex);
    if (AIndex.column() != 0 || !IsIp6Address(AOption->text.toLocal8Bit().toStdString())) {
        return;
    }
    // The room the style leaves for the text, as it measures it to cut a text at its end.
    const QWidget* View = AOption->widget;
    const QStyle* Style = View != nullptr ? View->style() : QApplication::style();
    const int Margin = Style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, View) + 1;
    const int Room =
        Style->subElementRect(QStyle::SE_ItemViewItemText, AOption, View).width() - 2 * Margin;
    const QFontMetrics Metrics(AOption->font);
    AOption->text = FitAddress(
        AOption->text,
        [&](const QString& AShown) { return Metrics.horizontalAdvance(AShown) <= Room; },
        AddressEllipsis(AOption->font, false));
}

THostGrid::THostGrid(QWidget* AParent)
    : THostGrid(std::make_unique<THostListDocument>(), AParent) {}

THostGrid::THostGrid(std::unique_ptr<THostListDocument> AOwn, QWidget* AParent)
    : THostGrid(*AOwn, AParent) {
    FOwnDocument = std::move(AOwn);
}

THostGrid::THostGrid(THostListDocument& ADocument, QWidget* AParent)
    : QTableView(AParent), FList(ADocument.List), FEditor(ADocument.Editor),
      FModel(new THostListModel(FEditor, this)), FCellEditor(new QLineEdit(viewport())) {
    FEditor.SetObserver(FModel);
    setModel(FModel);
    setItemDelegate(new THostCellDelegate(this));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);

    // Qt counts a grid line inside the section it closes: every section is a cell and the
    // line after it, so the cells of 98 and 104 and their lines fill the client width.
    QHeaderView* Rows = verticalHeader();
    Rows->hide();
    Rows->setMinimumSectionSize(1);
    Rows->setDefaultSectionSize(RowHeight + GridLine);
    Rows->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* Titles = horizontalHeader();
    Titles->setFixedHeight(RowHeight + GridLine);
    Titles->setHighlightSections(false);
    Titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Titles->setSectionsClickable(false);
    Titles->setStretchLastSection(false);
    Titles->setMinimumSectionSize(1);
    Titles->setSectionResizeMode(0, QHeaderView::Interactive);
    Titles->setSectionResizeMode(1, QHeaderView::Fixed);
    // Flat, in the button-face colour, with lines of the same colour as the cells' below.
    setStyleSheet("THostGrid { gridline-color: palette(mid); }"
                  " QHeaderView::section { background-color: palette(button);"
                  " color: palette(window-text); border: none; border-right: 1px solid"
                  " palette(mid); border-bottom: 1px solid palette(mid); padding-left: 2px; }");
    Titles->resizeSection(0, AddressWidth + GridLine);
    connect(Titles, &QHeaderView::sectionResized, this, [this](int ASection) {
        if (ASection == 0) {
            FitNameColumn();
        }
        PlaceCellEditor();
    });

    FCellEditor->setFrame(false);
    FCellEditor->installEventFilter(this);
    setFocusProxy(FCellEditor);
    connect(FCellEditor, &QLineEdit::textEdited, this, &THostGrid::CellTextEdited);
    connect(FModel, &THostListModel::CurrentCellChanged, this, [this] { ShowCurrentCell(); });
    connect(FModel, &THostListModel::AddressSelected, this, &THostGrid::SelectCell);
    // An entry changed by a rule (Esc putting typing back) shows in the editor at once.
    connect(FModel, &QAbstractItemModel::dataChanged, this, &THostGrid::SyncCellEditorText);
    ShowCurrentCell();
}

THostGrid::~THostGrid() {
    FEditor.SetObserver(nullptr);
}

void THostGrid::ListReset() {
    FEditor.Reset();
    FModel->Reset();
    ShowCurrentCell();
}

void THostGrid::SetTabStop(bool AValue) {
    FTabStop = AValue;
    const Qt::FocusPolicy Policy = AValue ? Qt::StrongFocus : Qt::ClickFocus;
    setFocusPolicy(Policy);
    FCellEditor->setFocusPolicy(Policy);
}

bool THostGrid::event(QEvent* AEvent) {
    if (AEvent->type() != QEvent::Paint) {
        return QTableView::event(AEvent);
    }
    PaintFrame(false);
    const bool Result = QTableView::event(AEvent);
    PaintFrame(true);
    return Result;
}

void THostGrid::PaintFrame(bool ALines) {
    // The style draws the frame from the grid's own corner, which at a fractional density can
    // lie between device pixels: its right or bottom line then falls outside the grid, and
    // the cells end a pixel short of it. So the cells' colour goes beneath everything first,
    // and the frame is drawn again on the grid's outermost device pixels.
    QPainter Canvas(this);
    const QRect Device = DeviceRect(Canvas, rect());
    const int Line = std::max(1, qRound(lineWidth() * DeviceScale(Canvas)));
    PaintInDevicePixels(Canvas);
    if (!ALines) {
        Canvas.fillRect(Device, palette().color(QPalette::Base));
        return;
    }
    const QColor Colour = palette().color(foregroundRole());
    Canvas.fillRect(Device.x(), Device.y(), Device.width(), Line, Colour);
    Canvas.fillRect(Device.x(), Device.bottom() - Line + 1, Device.width(), Line, Colour);
    Canvas.fillRect(Device.x(), Device.y(), Line, Device.height(), Colour);
    Canvas.fillRect(Device.right() - Line + 1, Device.y(), Line, Device.height(), Colour);
}

bool THostGrid::eventFilter(QObject* AWatched, QEvent* AEvent) {
    if (AWatched == FCellEditor && AEvent->type() == QEvent::KeyPress) {
        bool Handled = false;
        Guarded([&] { Handled = HandleKey(static_cast<QKeyEvent*>(AEvent)); });
        return Handled;
    }
    return QTableView::eventFilter(AWatched, AEvent);
}

void THostGrid::changeEvent(QEvent* AEvent) {
    QTableView::changeEvent(AEvent);
    // Children under a style sheet keep the font they were first polished with; the titles
    // are drawn in their viewport's.
    if (AEvent->type() == QEvent::FontChange) {
        for (QWidget* Child :
             {static_cast<QWidget*>(horizontalHeader()), horizontalHeader()->viewport(),
              static_cast<QWidget*>(FCellEditor)}) {
            Child->setFont(font());
        }
    }
}

void THostGrid::keyPressEvent(QKeyEvent* AEvent) {
    bool Handled = false;
    Guarded([&] { Handled = HandleKey(AEvent); });
    if (!Handled) {
        QTableView::keyPressEvent(AEvent);
    }
}

bool THostGrid::HandleKey(QKeyEvent* AEvent) {
    const Qt::KeyboardModifiers Mods =
        AEvent->modifiers() &
        (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool Plain = Mods == Qt::NoModifier;
    const bool CtrlOnly = Mods == Qt::ControlModifier;
    switch (AEvent->key()) {
    case Qt::Key_Up:
        if (CtrlOnly) {
            FEditor.First();
        } else if (Plain) {
            FEditor.Up();
        }
        return true;
    case Qt::Key_Down:
        if (CtrlOnly) {
            FEditor.Last();
        } else if (Plain) {
            FEditor.Down();
        }
        return true;
    case Qt::Key_PageUp: {
        const std::size_t Step = static_cast<std::size_t>(VisibleRows());
        FEditor.MoveTo(FEditor.Row() > Step ? FEditor.Row() - Step : 0, FEditor.Col());
        return true;
    }
    case Qt::Key_PageDown:
        FEditor.MoveTo(FEditor.Row() + static_cast<std::size_t>(VisibleRows()), FEditor.Col());
        return true;
    case Qt::Key_Insert:
        if (Plain) {
            FEditor.Insert();
            return true;
        }
        return false;
    case Qt::Key_Delete:
        if (CtrlOnly) {
            FEditor.DeleteCurrent();
            return true;
        }
        return false;
    case Qt::Key_Escape:
        FEditor.Escape();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Neither ends the editing nor moves; the window pings on the release.
        return true;
    case Qt::Key_Left:
        if (Plain && FEditor.Col() == 1 && FCellEditor->cursorPosition() == 0 &&
            !FCellEditor->hasSelectedText()) {
            FEditor.MoveTo(FEditor.Row(), 0);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (Plain && FEditor.Col() == 0 &&
            FCellEditor->cursorPosition() == FCellEditor->text().size() &&
            !FCellEditor->hasSelectedText()) {
            FEditor.MoveTo(FEditor.Row(), 1);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void THostGrid::CellTextEdited(const QString& AText) {
    Guarded([&] {
        try {
            FEditor.SetCellText(AText.toLocal8Bit().toStdString());
        } catch (const EKeyError&) {
            // The entry kept its address: so does the editor, before the error box shows.
            const int Cursor = FCellEditor->cursorPosition();
            SyncCellEditorText();
            FCellEditor->setCursorPosition(std::max(0, Cursor - 1));
            throw;
        }
    });
}

void THostGrid::mousePressEvent(QMouseEvent* AEvent) {
    const QModelIndex Index = indexAt(AEvent->position().toPoint());
    if (Index.isValid()) {
        Guarded([&] { FEditor.MoveTo(static_cast<std::size_t>(Index.row()), Index.column()); });
    }
    setFocus(Qt::MouseFocusReason);
    AEvent->accept();
}

void THostGrid::mouseDoubleClickEvent(QMouseEvent* AEvent) {
    AEvent->accept();
}

void THostGrid::resizeEvent(QResizeEvent* AEvent) {
    QTableView::resizeEvent(AEvent);
    FitNameColumn();
    PlaceCellEditor();
}

void THostGrid::scrollContentsBy(int ADx, int ADy) {
    QTableView::scrollContentsBy(ADx, ADy);
    PlaceCellEditor();
}

void THostGrid::updateGeometries() {
    QTableView::updateGeometries();
    FitNameColumn();
    PlaceCellEditor();
}

QModelIndex THostGrid::CurrentCell() const {
    return FModel->index(static_cast<int>(FEditor.Row()), FEditor.Col());
}

void THostGrid::SyncCellEditorText() {
    const QString Text = CurrentCell().data().toString();
    if (FCellEditor->text() != Text) {
        FCellEditor->setText(Text);
    }
}

void THostGrid::ShowCurrentCell() {
    const QModelIndex Index = CurrentCell();
    if (currentIndex() != Index) {
        setCurrentIndex(Index);
    }
    scrollTo(Index);
    SyncCellEditorText();
    FCellEditor->selectAll();
    PlaceCellEditor();
}

void THostGrid::PlaceCellEditor() {
    // The whole cell inside its grid lines: the view's focus frame of the current cell lies
    // beneath the editor and never shows.
    const QRect Cell = visualRect(CurrentCell());
    FCellEditor->setGeometry(Cell);
    FCellEditor->setVisible(Cell.isValid() && !Cell.isEmpty());
}

void THostGrid::FitNameColumn() {
    // The name cell takes the client width less the address cell less 2, its own line and
    // the address cell's: its section is the rest of the client width.
    const int Width = std::max(1, viewport()->width() - columnWidth(0));
    if (columnWidth(1) != Width) {
        horizontalHeader()->resizeSection(1, Width);
    }
}

int THostGrid::VisibleRows() const {
    return std::max(1, viewport()->height() / (RowHeight + GridLine));
}
