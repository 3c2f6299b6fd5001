#include "hosts/HostListEditor.h"
#include "hosts/HostList.h"
#include "hosts/HostListErrors.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

namespace {

// What the view is told: "+r" a row inserted at r, "-r" removed, "~r" changed, "@r,c" the
// current cell, "[address]" a row selection.
struct TRecorder : THostListObserver {
    std::string Log;
    void Add(const std::string& AEvent) { Log += (Log.empty() ? "" : " ") + AEvent; }
    void RowsAboutToBeInserted(std::size_t ARow, std::size_t) override {
        Add("+" + std::to_string(ARow));
    }
    void RowsAboutToBeRemoved(std::size_t ARow, std::size_t) override {
        Add("-" + std::to_string(ARow));
    }
    void RowChanged(std::size_t ARow) override { Add("~" + std::to_string(ARow)); }
    void CurrentChanged(std::size_t ARow, int ACol) override {
        Add("@" + std::to_string(ARow) + "," + std::to_string(ACol));
    }
    void RowSelected(std::string_view AAddress) override { Add("[" + std::string(AAddress) + "]"); }
};

// Keys as a script: "m2,0" MoveTo, "u" Up, "d" Down, "f" First, "l" Last, "i" Insert,
// "x" Ctrl+Delete, "e" Escape, "t:text" typing.
void Play(THostListEditor& AEditor, const std::string& AScript) {
    static const std::map<char, void (THostListEditor::*)()> Keys{
        {'u', &THostListEditor::Up},     {'d', &THostListEditor::Down},
        {'f', &THostListEditor::First},  {'l', &THostListEditor::Last},
        {'i', &THostListEditor::Insert}, {'x', &THostListEditor::DeleteCurrent},
        {'e', &THostListEditor::Escape}};
    std::istringstream In(AScript);
    for (std::string Key; In >> Key;) {
        if (Key[0] == 'm') {
            AEditor.MoveTo(std::stoul(Key.substr(1)), Key.back() - '0');
        } else if (Key[0] == 't') {
            AEditor.SetCellText(Key.substr(2));
        } else {
            (AEditor.*Keys.at(Key[0]))();
        }
    }
}

// Lines joined by "|": "a=1|" is "a=1" and an empty line; "" is an empty list.
std::vector<std::string> Split(std::string_view ALines) {
    std::vector<std::string> Result;
    for (std::size_t Start = 0; !ALines.empty() && Start <= ALines.size();) {
        const std::size_t Bar = std::min(ALines.find('|', Start), ALines.size());
        Result.emplace_back(ALines.substr(Start, Bar - Start));
        Start = Bar + 1;
    }
    return Result;
}

struct TRuleCase {
    const char* Rule;
    const char* Before;
    const char* Keys;
    const char* After;
    std::size_t Row;
    int Col;
    const char* Told;
};

using R = TRuleCase;
class EditingRule : public ::testing::TestWithParam<R> {};

TEST_P(EditingRule, ChangesTheListAndTellsTheView) {
    const TRuleCase& C = GetParam();
    THostList List;
    for (const auto& Line : Split(C.Before)) {
        List.Append(Line);
    }
    TRecorder View;
    THostListEditor Editor(List, &View);
    Play(Editor, C.Keys);
    std::vector<std::string> After;
    for (std::size_t I = 0; I < List.Count(); ++I) {
        After.emplace_back(List.Line(I));
    }
    EXPECT_EQ(After, Split(C.After));
    EXPECT_EQ(Editor.Row(), C.Row);
    EXPECT_EQ(Editor.Col(), C.Col);
    EXPECT_EQ(View.Log, C.Told);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EditingRule,
    ::testing::Values(
        R{"StartsAtFirstDisplayNameWithoutSelection", "a=1|b=2", "", "a=1|b=2", 0, 1, ""},
        R{"EnteringARowSelectsIt", "a=1|b=2", "m1,1", "a=1|b=2", 1, 1, "[b] @1,1"},
        R{"AColumnChangeSelectsToo", "a=1|b=2", "m0,0", "a=1|b=2", 0, 0, "[a] @0,0"},
        R{"TheSameCellIsNoMove", "a=1|b=2", "m0,1", "a=1|b=2", 0, 1, ""},
        R{"RowsPastTheEndClamp", "a=1|b=2", "m9,1", "a=1|b=2", 1, 1, "[b] @1,1"},
        R{"LeavingAnEmptyEntryDownRemovesIt", "a=1|=|c=3", "m1,1 m2,1", "a=1|c=3", 1, 1,
          "[] @1,1 -1 [c] @1,1"},
        R{"LeavingAnEmptyLineUpwardRemovesIt", "a=1|", "m1,1 u", "a=1", 0, 1,
          "[] @1,1 -1 [a] @0,1"},
        R{"CtrlDownFromAnEmptyEntry", "a=1|=|c=3", "m1,1 l", "a=1|c=3", 1, 1,
          "[] @1,1 -1 [c] @1,1"},
        R{"CtrlDownAndCtrlUp", "a=1|b=2|c=3", "l f", "a=1|b=2|c=3", 0, 1, "[c] @2,1 [a] @0,1"},
        R{"DownOnTheLastRowAppends", "a=1", "d", "a=1|=", 1, 1, "+1 [] @1,1"},
        R{"DownIsRefusedWithoutAnAddress", "=x", "d", "=x", 0, 1, ""},
        R{"AnAppendedRowLeftEmptyGoes", "a=1", "d u", "a=1", 0, 1, "+1 [] @1,1 -1 [a] @0,1"},
        R{"InsertGoesAboveTheCursor", "a=1|b=2", "m1,0 i", "a=1|=|b=2", 1, 0, "[b] @1,0 +1 @1,0"},
        R{"InsertIsRefusedWithoutAnAddress", "a=1|=x", "m1,1 i", "a=1|=x", 1, 1, "[] @1,1"},
        R{"DeleteKeepsThePosition", "a=1|b=2|c=3", "m1,1 x", "a=1|c=3", 1, 1, "[b] @1,1 -1 @1,1"},
        R{"DeletingTheLastRowSelectsTheRowAbove", "a=1|b=2", "m1,1 x", "a=1", 0, 1,
          "[b] @1,1 [a] @0,1 -1"},
        R{"AnEmptyLastRowIsDeletedOnce", "a=1|=", "m1,1 x", "a=1", 0, 1, "[] @1,1 [a] @0,1 -1"},
        R{"DeletingTheOnlyEntryLeavesTheBlankRow", "a=1", "x x", "", 0, 1, "~0 @0,1"},
        R{"TheBlankRowDoesNothing", "", "m0,0 d i x e u l", "", 0, 0, "@0,0"},
        R{"TypingIntoTheBlankRowMakesTheFirstEntry", "", "t:a", "=a", 0, 1, "~0"},
        R{"TypingAnAddressIntoTheBlankRow", "", "m0,0 t:10.0.0.1", "10.0.0.1=", 0, 0, "@0,0 ~0"},
        R{"TypingRebuildsTheCellOnly", "a=\xFF\xFE", "m0,0 t:b", "b=\xFF\xFE", 0, 0, "[a] @0,0 ~0"},
        R{"AnUnchangedTextLeavesTheLine", "Server", "t:Server", "Server", 0, 1, ""},
        R{"EscapePutsTheLineBack", "Server", "t:x t:xy e", "Server", 0, 1, "~0 ~0 ~0"},
        R{"MovingEndsPendingTyping", "a=1|b=2", "t:x m1,1 e", "a=x|b=2", 1, 1, "~0 [b] @1,1"},
        R{"ClickingTheTypedCellKeepsItPending", "a=1|b=2", "t:x m0,1 e", "a=1|b=2", 0, 1, "~0 ~0"},
        R{"EscapeRemovesAnEmptyEntry", "a=1|=|c=3", "m1,1 e", "a=1|c=3", 1, 1, "[] @1,1 -1 @1,1"},
        R{"EscapeOnAnEmptyLastRowGoesUp", "a=1|=", "m1,1 e", "a=1", 0, 1, "[] @1,1 [a] @0,1 -1"},
        R{"EscapeLeavesAnEntryWithText", "a=1|b=2", "e", "a=1|b=2", 0, 1, ""},
        R{"EscapeTwiceUndoesTheFirstEntry", "", "t:a e e", "", 0, 1, "~0 ~0 ~0 @0,1"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Rule); });

TEST(EditingRule, AnAddressWithAnEqualsSignIsRefusedAndChangesNothing) {
    THostList List;
    THostListEditor Editor(List);
    Editor.MoveTo(0, 0);
    EXPECT_THROW(Editor.SetCellText("a="), EKeyError); // the blank row of an empty list
    EXPECT_EQ(List.Count(), 0u);
    Editor.SetCellText("a");
    try {
        Editor.SetCellText("a=");
        FAIL() << "no exception";
    } catch (const EKeyError& E) {
        EXPECT_STREQ(E.what(), "Key may not contain equals sign (\"=\")");
    }
    EXPECT_EQ(List.Line(0), "a=");
}

TEST(EditingRule, ResetGoesBackToTheFirstDisplayNameAfterALoad) {
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
