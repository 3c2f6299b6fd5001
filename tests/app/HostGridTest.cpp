#include "app/HostGrid.h"

#include "app/AddressFit.h"

#include <QStyleOptionViewItem>
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

TEST(HostGrid, ALongIPv6AddressIsShortenedInItsMiddleWithTheWholeInTheCellsTooltip) {
    THostGrid Grid(nullptr);
    Grid.resize(206, 148);
    Grid.List().Assign("2a00:1450:4001:82b::200e=far\r\n::1=loop\r\n10.200.200.200=four\r\n"
                       "no-such-host.example.invalid=named\r\n");
    Grid.ListReset();
    Grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
    const QString Ellipsis = AddressEllipsis(Grid.font(), false);
    const struct {
        int Row;
        const char* Shown; // where it starts and ends; the whole text where it fits
        const char* Ends;
        const char* Tooltip;
    } Cases[] = {
        {0, "2a00", ":200e", "2a00:1450:4001:82b::200e"},
        {1, "::1", "::1", "::1"},
        {2, "10.200.200.200", "10.200.200.200", ""},
        // Not an address: the view cuts it at its end, as before.
        {3, "no-such-host.example.invalid", "no-such-host.example.invalid", ""},
    };
    auto* Cells = qobject_cast<THostCellDelegate*>(Grid.itemDelegate());
    ASSERT_NE(Cells, nullptr);
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Shown);
        const QModelIndex Cell = Grid.model()->index(Case.Row, 0);
        QStyleOptionViewItem Option;
        Option.initFrom(Grid.viewport());
        Option.widget = &Grid;
        Option.rect = Grid.visualRect(Cell);
        Cells->initStyleOption(&Option, Cell);
        const bool Shortened = QString(Case.Shown) != QString(Case.Ends);
        EXPECT_TRUE(Option.text.startsWith(Case.Shown) && Option.text.endsWith(Case.Ends))
            << Option.text.toStdString();
        EXPECT_EQ(Option.text.contains(Ellipsis), Shortened) << Option.text.toStdString();
        if (Shortened) {
            EXPECT_LE(Option.fontMetrics.horizontalAdvance(Option.text), Option.rect.width() - 4);
        }
        EXPECT_EQ(Cell.data(Qt::ToolTipRole).toString(), Case.Tooltip);
        EXPECT_EQ(Cell.data(Qt::EditRole).toString(), Cell.data(Qt::DisplayRole).toString());
    }
}

} // namespace
