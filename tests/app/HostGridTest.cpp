#include "app/HostGrid.h"

#include <QTest>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

struct TKey {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers = Qt::NoModifier;
};

struct TKeysCase {
    const char* Name;
    const char* File;
    std::vector<TKey> Keys;
    std::vector<std::string> Lines;
    std::size_t Row;
};
// A failing case is named by its name alone, not by its bytes.
void PrintTo(const TKeysCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

// Real key events through the grid's cell editor, as a person types them; the rules
// themselves are tested on the editor, this only checks that each key reaches its rule.
class HostGridKeys : public ::testing::TestWithParam<TKeysCase> {};

TEST_P(HostGridKeys, ReachTheirEditingRule) {
    const TKeysCase& Case = GetParam();
    THostGrid Grid(nullptr);
    Grid.resize(206, 148);
    Grid.List().Assign(Case.File);
    Grid.ListReset();
    Grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
    for (const TKey& Key : Case.Keys) {
        QTest::keyClick(Grid.CellEditor(), Key.Key, Key.Modifiers);
    }
    std::vector<std::string> Lines;
    for (std::size_t I = 0; I < Grid.List().Count(); ++I) {
        Lines.emplace_back(Grid.List().Line(I));
    }
    EXPECT_EQ(Lines, Case.Lines);
    EXPECT_EQ(Grid.Editor().Row(), Case.Row);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HostGridKeys,
    ::testing::Values(
        TKeysCase{"InsertAddsAnEmptyEntryAbove",
                  "a=1\r\nb=2\r\n",
                  {{Qt::Key_Insert}},
                  {"=", "a=1", "b=2"},
                  0},
        TKeysCase{"DownOnTheLastRowAppends", "a=1\r\n", {{Qt::Key_Down}}, {"a=1", "="}, 1},
        TKeysCase{"CtrlDeleteOnTheLastRowRemovesItTheRowAboveCurrent",
                  "a=1\r\nb=2\r\n",
                  {{Qt::Key_Down}, {Qt::Key_Delete, Qt::ControlModifier}},
                  {"a=1"},
                  0},
        TKeysCase{
            "EscDropsAnEmptyNewRow", "a=1\r\n", {{Qt::Key_Down}, {Qt::Key_Escape}}, {"a=1"}, 0},
        TKeysCase{"EscPutsTypingBack", "a=1\r\n", {{Qt::Key_X}, {Qt::Key_Escape}}, {"a=1"}, 0},
        TKeysCase{"CtrlDownAndCtrlUpJump",
                  "a=1\r\nb=2\r\nc=3\r\n",
                  {{Qt::Key_Down, Qt::ControlModifier}},
                  {"a=1", "b=2", "c=3"},
                  2},
        TKeysCase{"EnterNeitherEndsTheEditNorMoves",
                  "a=1\r\nb=2\r\n",
                  {{Qt::Key_X}, {Qt::Key_Return}, {Qt::Key_Y}},
                  {"a=xy", "b=2"},
                  0},
        TKeysCase{"TypingIntoTheBlankRowOfAnEmptyListMakesAnEntry", "", {{Qt::Key_Z}}, {"=z"}, 0}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(HostGrid, TheNameColumnTakesTheRestOfTheClientWidth) {
    THostGrid Grid(nullptr);
    Grid.resize(206, 148);
    Grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
    // Qt's sections hold the grid line after each cell.
    const int Line = THostGrid::GridLine;
    EXPECT_EQ(Grid.columnWidth(0) - Line, 98);
    EXPECT_EQ(Grid.columnWidth(1) - Line, 104);
    EXPECT_EQ(Grid.model()->rowCount(), 1); // the blank row of an empty list
    Grid.setColumnWidth(0, 60 + Line);
    EXPECT_EQ(Grid.columnWidth(1) - Line, Grid.viewport()->width() - 60 - 2);
    EXPECT_EQ(Grid.rowHeight(0) - Line, 18);
    EXPECT_EQ(Grid.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole), "IP Address");
    EXPECT_EQ(Grid.model()->headerData(1, Qt::Horizontal, Qt::DisplayRole), "Name");
}

} // namespace
