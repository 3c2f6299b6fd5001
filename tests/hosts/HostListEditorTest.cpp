#include "hosts/HostList.h"
#include "hosts/HostListEditor.h"
#include "hosts/HostListErrors.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

// Writes what the view is told: "+r" rows inserted at r, "-r" removed at r, "~r" row r
// changed, "@r,c" current cell, "[address]" row selection.
class TRecorder : public THostListObserver {
  public:
    std::string Log;

    void RowsAboutToBeInserted(std::size_t AFirst, std::size_t ACount) override {
        EXPECT_EQ(ACount, 1u);
        Open("+" + std::to_string(AFirst));
    }
    void RowsInserted() override { Close(); }
    void RowsAboutToBeRemoved(std::size_t AFirst, std::size_t ACount) override {
        EXPECT_EQ(ACount, 1u);
        Open("-" + std::to_string(AFirst));
    }
    void RowsRemoved() override { Close(); }
    void RowChanged(std::size_t ARow) override { Add("~" + std::to_string(ARow)); }
    void CurrentChanged(std::size_t ARow, int ACol) override {
        Add("@" + std::to_string(ARow) + "," + std::to_string(ACol));
    }
    void RowSelected(std::string_view AAddress) override {
        Add("[" + std::string(AAddress) + "]");
    }

  private:
    void Add(const std::string& AEvent) {
        EXPECT_FALSE(FOpen) << AEvent << " inside an insertion or removal";
        Log += (Log.empty() ? "" : " ") + AEvent;
    }
    void Open(const std::string& AEvent) {
        Add(AEvent);
        FOpen = true;
    }
    void Close() {
        EXPECT_TRUE(FOpen);
        FOpen = false;
    }
    bool FOpen = false;
};

// Keys as a script: "m2,0" MoveTo, "u" Up, "d" Down, "f" First, "l" Last, "i" Insert,
// "x" Ctrl+Delete, "e" Escape, "t:text" typing.
void Play(THostListEditor& AEditor, const std::string& AScript) {
    std::istringstream In(AScript);
    std::string Key;
    while (In >> Key) {
        switch (Key[0]) {
        case 'm':
            AEditor.MoveTo(std::stoul(Key.substr(1)), std::stoi(Key.substr(Key.find(',') + 1)));
            break;
        case 'u': AEditor.Up(); break;
        case 'd': AEditor.Down(); break;
        case 'f': AEditor.First(); break;
        case 'l': AEditor.Last(); break;
        case 'i': AEditor.Insert(); break;
        case 'x': AEditor.DeleteCurrent(); break;
        case 'e': AEditor.Escape(); break;
        case 't': AEditor.SetCellText(Key.substr(2)); break;
        default: FAIL() << Key;
        }
    }
}

struct TRuleCase {
    const char* Rule;
    std::vector<std::string> Before;
    const char* Keys;
    std::vector<std::string> After;
    std::size_t Row;
    int Col;
    const char* Told;
    friend void PrintTo(const TRuleCase& C, std::ostream* Os) { *Os << C.Rule; }
};

class EditingRule : public ::testing::TestWithParam<TRuleCase> {};

TEST_P(EditingRule, ChangesTheListAndTellsTheView) {
    const TRuleCase& C = GetParam();
    THostList List;
    for (const auto& Line : C.Before) {
        List.Append(Line);
    }
    TRecorder View;
    THostListEditor Editor(List, &View);
    Play(Editor, C.Keys);
    std::vector<std::string> After;
    for (std::size_t I = 0; I < List.Count(); ++I) {
        After.emplace_back(List.Line(I));
    }
    EXPECT_EQ(After, C.After);
    EXPECT_EQ(Editor.Row(), C.Row);
    EXPECT_EQ(Editor.Col(), C.Col);
    EXPECT_EQ(View.Log, C.Told);
    EXPECT_EQ(Editor.RowCount(), std::max<std::size_t>(List.Count(), 1));
}

using L = std::vector<std::string>;
const L AB{"a=1", "b=2"};
const L AEmptyC{"a=1", "=", "c=3"};

INSTANTIATE_TEST_SUITE_P(
    Rules, EditingRule,
    ::testing::Values(
        TRuleCase{"StartsAtFirstDisplayNameWithoutSelection", AB, "", AB, 0, 1, ""},
        TRuleCase{"EnteringARowSelectsIt", AB, "m1,1", AB, 1, 1, "[b] @1,1"},
        TRuleCase{"AColumnChangeSelectsToo", AB, "m0,0", AB, 0, 0, "[a] @0,0"},
        TRuleCase{"TheSameCellIsNoMove", AB, "m0,1", AB, 0, 1, ""},
        TRuleCase{"RowsPastTheEndClamp", AB, "m9,1", AB, 1, 1, "[b] @1,1"},
        TRuleCase{"LeavingAnEmptyEntryDownwardRemovesIt", AEmptyC, "m1,1 m2,1", {"a=1", "c=3"},
                  1, 1, "[] @1,1 -1 [c] @1,1"},
        TRuleCase{"LeavingAnEmptyLineUpwardRemovesIt", {"a=1", ""}, "m1,1 u", {"a=1"}, 0, 1,
                  "[] @1,1 -1 [a] @0,1"},
        TRuleCase{"CtrlDownFromAnEmptyEntry", AEmptyC, "m1,1 l", {"a=1", "c=3"}, 1, 1,
                  "[] @1,1 -1 [c] @1,1"},
        TRuleCase{"CtrlDownAndCtrlUp", {"a=1", "b=2", "c=3"}, "l f", {"a=1", "b=2", "c=3"}, 0,
                  1, "[c] @2,1 [a] @0,1"},
        TRuleCase{"DownOnTheLastRowAppends", {"a=1"}, "d", {"a=1", "="}, 1, 1, "+1 [] @1,1"},
        TRuleCase{"DownIsRefusedWithoutAnAddress", {"=x"}, "d", {"=x"}, 0, 1, ""},
        TRuleCase{"AnAppendedRowLeftEmptyGoes", {"a=1"}, "d u", {"a=1"}, 0, 1,
                  "+1 [] @1,1 -1 [a] @0,1"},
        TRuleCase{"InsertGoesAboveAndTheCursorStays", AB, "m1,0 i", {"a=1", "=", "b=2"}, 1, 0,
                  "[b] @1,0 +1 @1,0"},
        TRuleCase{"InsertIsRefusedWithoutAnAddress", {"a=1", "=x"}, "m1,1 i", {"a=1", "=x"}, 1,
                  1, "[] @1,1"},
        TRuleCase{"DeleteKeepsThePosition", {"a=1", "b=2", "c=3"}, "m1,1 x", {"a=1", "c=3"}, 1,
                  1, "[b] @1,1 -1 @1,1"},
        TRuleCase{"DeletingTheLastRowSelectsTheOneAbove", AB, "m1,1 x", {"a=1"}, 0, 1,
                  "[b] @1,1 [a] @0,1 -1"},
        TRuleCase{"AnEmptyLastRowIsDeletedOnce", {"a=1", "="}, "m1,1 x", {"a=1"}, 0, 1,
                  "[] @1,1 [a] @0,1 -1"},
        TRuleCase{"DeletingTheOnlyEntryLeavesTheBlankRow", {"a=1"}, "x x", {}, 0, 1, "~0 @0,1"},
        TRuleCase{"TheBlankRowDoesNothing", {}, "m0,0 d i x e u l", {}, 0, 0, "@0,0"},
        TRuleCase{"TypingIntoTheBlankRowMakesTheFirstEntry", {}, "t:a", {"=a"}, 0, 1, "~0"},
        TRuleCase{"TypingAnAddressIntoTheBlankRow", {}, "m0,0 t:10.0.0.1", {"10.0.0.1="}, 0, 0,
                  "@0,0 ~0"},
        TRuleCase{"TypingRebuildsTheCellOnly", {"a=\xFF\xFE"}, "m0,0 t:b", {"b=\xFF\xFE"}, 0, 0,
                  "[a] @0,0 ~0"},
        TRuleCase{"AnUnchangedTextLeavesTheLine", {"Server"}, "t:Server", {"Server"}, 0, 1, ""},
        TRuleCase{"EscapePutsTheLineBack", {"Server"}, "t:x t:xy e", {"Server"}, 0, 1,
                  "~0 ~0 ~0"},
        TRuleCase{"MovingEndsPendingTyping", AB, "t:x m1,1 e", {"a=x", "b=2"}, 1, 1,
                  "~0 [b] @1,1"},
        TRuleCase{"AClickIntoTheTypedCellKeepsItPending", AB, "t:x m0,1 e", AB, 0, 1, "~0 ~0"},
        TRuleCase{"EscapeRemovesAnEmptyEntry", AEmptyC, "m1,1 e", {"a=1", "c=3"}, 1, 1,
                  "[] @1,1 -1 @1,1"},
        TRuleCase{"EscapeOnAnEmptyLastRowSelectsTheOneAbove", {"a=1", "="}, "m1,1 e", {"a=1"}, 0,
                  1, "[] @1,1 [a] @0,1 -1"},
        TRuleCase{"EscapeLeavesAnEntryWithText", AB, "e", AB, 0, 1, ""},
        TRuleCase{"EscapeTwiceUndoesTheFirstEntry", {}, "t:a e e", {}, 0, 1, "~0 ~0 ~0 @0,1"}));

TEST(EditingRule, AnAddressWithAnEqualsSignIsRefused) {
    THostList List;
    List.Append("a=1");
    TRecorder View;
    THostListEditor Editor(List, &View);
    Editor.MoveTo(0, 0);
    EXPECT_THROW(Editor.SetCellText("a="), EKeyError);
    EXPECT_EQ(List.Line(0), "a=1");
    EXPECT_FALSE(Editor.Pending());

    THostList Empty;
    THostListEditor BlankRow(Empty, &View);
    BlankRow.MoveTo(0, 0);
    EXPECT_THROW(BlankRow.SetCellText("="), EKeyError);
    EXPECT_EQ(Empty.Count(), 0u);
    EXPECT_EQ(View.Log, "[a] @0,0 @0,0");
}

TEST(EditingRule, ResetGoesBackToTheStartAfterALoad) {
    THostList List;
    THostListEditor Editor(List);
    Editor.MoveTo(0, 0);
    List.Assign("x=1\ny=2");
    Editor.Reset();
    EXPECT_EQ(Editor.Row(), 0u);
    EXPECT_EQ(Editor.Col(), 1);
    EXPECT_EQ(Editor.CellText(0, 1), "1");
}

} // namespace
