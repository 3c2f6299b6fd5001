#pragma once
// The grid's editing rules, kept apart from any widget so that they can be tested without
// one. Rows are the grid's rows below its title row, counted from 0; columns are 0 (the
// address) and 1 (the display name). An empty list shows one blank row with no entry
// behind it, so RowCount() is never 0.
#include <cstddef>
#include <string>
#include <string_view>

class THostList;

// What the editor tells its view. Insertions and removals are announced before and after,
// as item views need; all rows are view rows.
class THostListObserver {
  public:
    virtual ~THostListObserver() = default;
    virtual void RowsAboutToBeInserted(std::size_t /*AFirst*/, std::size_t /*ACount*/) {}
    virtual void RowsInserted() {}
    virtual void RowsAboutToBeRemoved(std::size_t /*AFirst*/, std::size_t /*ACount*/) {}
    virtual void RowsRemoved() {}
    virtual void RowChanged(std::size_t /*ARow*/) {}
    // The current cell moved (also when only its column changed), or a row was inserted or
    // removed at the current row, which stays: the view puts its current index there.
    virtual void CurrentChanged(std::size_t /*ARow*/, int /*ACol*/) {}
    // Row selection: a cell of an entry's row became current; AAddress is that entry's
    // address as stored. Never called for the blank row of an empty list.
    virtual void RowSelected(std::string_view /*AAddress*/) {}
};

class THostListEditor {
  public:
    // The list is not owned and must outlive the editor. The current cell starts at the
    // display name of the first row, without a row selection.
    explicit THostListEditor(THostList& AList, THostListObserver* AObserver = nullptr);

    void SetObserver(THostListObserver* AObserver) { FObserver = AObserver; }
    // The list was replaced behind the editor: back to the first row's display name,
    // without a row selection.
    void Reset();
    THostList& List() { return FList; }

    std::size_t RowCount() const;
    bool IsBlankRow(std::size_t ARow) const; // the blank row of an empty list
    std::string_view CellText(std::size_t ARow, int ACol) const;

    std::size_t Row() const { return FRow; }
    int Col() const { return FCol; }
    // Typing is pending in the current cell: its text changed since the cell was entered.
    bool Pending() const { return FPending; }

    // Makes another cell current (click, arrow and page keys). Leaving the row of an empty
    // entry removes that entry first; ARow is a row as the user saw it before that removal.
    // Rows past the end are clamped to the last row.
    void MoveTo(std::size_t ARow, int ACol);
    void Up();
    // Down on the last row appends an empty entry and moves to it, unless the current
    // address is empty.
    void Down();
    void First(); // Ctrl+Up
    void Last();  // Ctrl+Down
    // Insert: an empty entry above the current row, which stays where it is; refused while
    // the current address is empty.
    void Insert();
    // Ctrl+Delete: removes the current entry; on the last row of several, the row above
    // becomes current first. Nothing on the blank row.
    void DeleteCurrent();
    // Esc: reverts pending typing; with none pending, removes an empty current entry.
    void Escape();
    // One keystroke's worth of change to the current cell's text, applied to its entry at
    // once. In an empty list a non-empty text creates the first entry. An address holding
    // "=" raises EKeyError and leaves the entry as it was.
    void SetCellText(std::string_view AText);

  private:
    void EnterCell(std::size_t ARow, int ACol, bool ASelect);
    void RemoveRow(std::size_t ARow);
    void Remember(); // the current line, for Escape
    bool CurrentIsEmpty() const;

    THostList& FList;
    THostListObserver* FObserver;
    std::size_t FRow = 0;
    int FCol = 1;
    bool FPending = false;
    // The current row's line when its cell was entered: Escape puts back the whole line,
    // byte for byte, not a rebuilt one (a line without "=" would gain one).
    std::string FLineAtEntry;
};
