#include "hosts/HostListEditor.h"

#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"

#include <algorithm>

namespace {
constexpr std::string_view NewEntry = "=";
}

THostListEditor::THostListEditor(THostList& AList, THostListObserver* AObserver)
    : FList(AList), FObserver(AObserver) {
    Reset();
}

void THostListEditor::Reset() {
    FRow = 0;
    FCol = 1;
    FPending = false;
    Remember();
}

std::size_t THostListEditor::RowCount() const {
    return std::max<std::size_t>(FList.Count(), 1);
}

bool THostListEditor::IsBlankRow(std::size_t ARow) const {
    return ARow == 0 && FList.Count() == 0;
}

std::string_view THostListEditor::CellText(std::size_t ARow, int ACol) const {
    if (ARow >= FList.Count()) {
        return {};
    }
    return ACol == 0 ? FList.Address(ARow) : FList.DisplayName(ARow);
}

void THostListEditor::Remember() {
    FLineAtEntry = FRow < FList.Count() ? FList.Line(FRow) : std::string_view();
}

bool THostListEditor::CurrentIsEmpty() const {
    return FRow < FList.Count() && FList.IsEmptyEntry(FRow);
}

void THostListEditor::EnterCell(std::size_t ARow, int ACol, bool ASelect) {
    FRow = ARow;
    FCol = ACol;
    FPending = false;
    Remember();
    if (FObserver == nullptr) {
        return;
    }
    if (ASelect && !IsBlankRow(ARow)) {
        FObserver->RowSelected(FList.Address(ARow));
    }
    FObserver->CurrentChanged(ARow, ACol);
}

void THostListEditor::RemoveRow(std::size_t ARow) {
    if (FList.Count() == 1) {
        // The view keeps its one row: it shows the blank row now.
        FList.Delete(0);
        if (FObserver != nullptr) {
            FObserver->RowChanged(0);
        }
        return;
    }
    if (FObserver != nullptr) {
        FObserver->RowsAboutToBeRemoved(ARow, 1);
    }
    FList.Delete(ARow);
    if (FObserver != nullptr) {
        FObserver->RowsRemoved();
    }
}

void THostListEditor::MoveTo(std::size_t ARow, int ACol) {
    ACol = std::clamp(ACol, 0, 1);
    ARow = std::min(ARow, RowCount() - 1);
    if (ARow == FRow && ACol == FCol) {
        return; // a click into the cell being typed in keeps the typing pending
    }
    if (ARow != FRow && CurrentIsEmpty()) {
        const std::size_t Left = FRow;
        RemoveRow(Left);
        if (ARow > Left) {
            --ARow;
        }
    }
    EnterCell(ARow, ACol, true);
}

void THostListEditor::Up() {
    if (FRow > 0) {
        MoveTo(FRow - 1, FCol);
    }
}

void THostListEditor::Down() {
    if (FRow + 1 < RowCount()) {
        MoveTo(FRow + 1, FCol);
        return;
    }
    if (IsBlankRow(FRow) || FList.Address(FRow).empty()) {
        return;
    }
    const std::size_t NewRow = FList.Count();
    if (FObserver != nullptr) {
        FObserver->RowsAboutToBeInserted(NewRow, 1);
    }
    FList.Append(NewEntry);
    if (FObserver != nullptr) {
        FObserver->RowsInserted();
    }
    EnterCell(NewRow, FCol, true);
}

void THostListEditor::First() {
    MoveTo(0, FCol);
}

void THostListEditor::Last() {
    MoveTo(RowCount() - 1, FCol);
}

void THostListEditor::Insert() {
    if (IsBlankRow(FRow) || FList.Address(FRow).empty()) {
        return;
    }
    if (FObserver != nullptr) {
        FObserver->RowsAboutToBeInserted(FRow, 1);
    }
    FList.Insert(FRow, NewEntry);
    FPending = false;
    Remember();
    if (FObserver != nullptr) {
        FObserver->RowsInserted();
        FObserver->CurrentChanged(FRow, FCol);
    }
}

void THostListEditor::DeleteCurrent() {
    if (IsBlankRow(FRow)) {
        return;
    }
    if (FList.Count() > 1 && FRow + 1 == FList.Count()) {
        // Entered directly, not through MoveTo: the row being left is removed right after,
        // and must not go twice when it is empty.
        EnterCell(FRow - 1, FCol, true);
        RemoveRow(FRow + 1);
        return;
    }
    RemoveRow(FRow);
    FPending = false;
    Remember();
    if (FObserver != nullptr) {
        FObserver->CurrentChanged(FRow, FCol);
    }
}

void THostListEditor::Escape() {
    if (FPending && FRow < FList.Count()) {
        FPending = false;
        FList.SetLine(FRow, FLineAtEntry);
        if (FObserver != nullptr) {
            FObserver->RowChanged(FRow);
        }
        return;
    }
    if (CurrentIsEmpty()) {
        DeleteCurrent();
    }
}

void THostListEditor::SetCellText(std::string_view AText) {
    if (IsBlankRow(FRow)) {
        if (AText.empty()) {
            return;
        }
        if (FCol == 0 && AText.find('=') != std::string_view::npos) {
            throw EKeyError();
        }
        std::string Line(AText);
        Line.insert(FCol == 0 ? Line.size() : 0, 1, '=');
        FList.Append(Line);
        // Escape goes back to an empty entry, which a second Escape removes. Built apart and
        // moved in: GCC 12 takes assigning the short text in place for an overlapping copy
        // (a false -Wrestrict in optimised builds).
        FLineAtEntry = std::string(NewEntry);
    } else if (AText == CellText(FRow, FCol)) {
        // Views hand back an editor's text unchanged when it closes; rebuilding the line
        // then would still change the bytes of a line without "=".
        return;
    } else if (FCol == 0) {
        FList.SetAddress(FRow, AText);
    } else {
        FList.SetDisplayName(FRow, AText);
    }
    FPending = true;
    if (FObserver != nullptr) {
        FObserver->RowChanged(FRow);
    }
}
