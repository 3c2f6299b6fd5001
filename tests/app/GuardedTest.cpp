// The grid and the guarded handlers under a plain QApplication, as a benchmark or a test of
// one widget runs them: nothing may need the program's own application object.
#include "app/Guarded.h"
#include "app/HostGrid.h"
#include "controls/Label.h"
#include "net/IdException.h"

#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// Collects what is reported while it lives, and puts the previous report back after.
class TReports {
  public:
    TReports()
        : FPrevious(ErrorReport::Install(
              [this](const std::optional<std::string>& AMessage) { Seen.push_back(AMessage); })) {}
    ~TReports() { ErrorReport::Install(std::move(FPrevious)); }
    TReports(const TReports&) = delete;
    TReports& operator=(const TReports&) = delete;

    std::vector<std::optional<std::string>> Seen;

  private:
    ErrorReport::THandler FPrevious;
};

TEST(Guarded, AnEqualsSignTypedIntoAnAddressUnderAPlainApplicationIsRefusedAndWrittenOut) {
    THostGrid Grid(nullptr);
    Grid.resize(206, 148);
    Grid.List().Assign("a=1\r\n");
    Grid.ListReset();
    Grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Grid));
    // From the name cell, where the grid starts, into the address cell.
    QTest::keyClick(Grid.CellEditor(), Qt::Key_Home);
    QTest::keyClick(Grid.CellEditor(), Qt::Key_Left);
    ASSERT_EQ(Grid.Editor().Col(), 0);
    QTest::keyClick(Grid.CellEditor(), Qt::Key_End);
    ::testing::internal::CaptureStderr();
    QTest::keyClick(Grid.CellEditor(), Qt::Key_Equal);
    const std::string Written = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Written, "Key may not contain equals sign (\"=\")\n");
    EXPECT_EQ(Grid.List().Line(0), "a=1");
    EXPECT_EQ(Grid.CellEditor()->text(), "a");
    // The grid goes on taking keys.
    QTest::keyClick(Grid.CellEditor(), Qt::Key_B);
    EXPECT_EQ(Grid.List().Line(0), "ab=1");
}

TEST(Guarded, EachKindOfExceptionReachesTheInstalledReportWithItsText) {
    const struct {
        const char* Name;
        std::function<void()> Raise;
        std::optional<std::string> Expected;
    } Cases[] = {
        {"ours", [] { throw Exception("Socket Error # 10061"); }, "Socket Error # 10061"},
        {"the standard library's", [] { throw std::runtime_error("bad"); }, "bad"},
        {"a silent one", [] { throw EIdSilentException("quiet"); }, std::nullopt},
        {"anything else", [] { throw 42; }, "Unknown error"},
    };
    for (const auto& Case : Cases) {
        TReports Reports;
        bool After = false;
        Guarded([&] {
            Case.Raise();
            After = true;
        });
        EXPECT_FALSE(After) << Case.Name;
        ASSERT_EQ(Reports.Seen.size(), 1u) << Case.Name;
        EXPECT_EQ(Reports.Seen[0], Case.Expected) << Case.Name;
    }
}

TEST(Guarded, ANestedReportPutsTheOuterOneBack) {
    TReports Outer;
    {
        TReports Inner;
        Guarded([] { throw std::runtime_error("inner"); });
        EXPECT_EQ(Inner.Seen.size(), 1u);
    }
    Guarded([] { throw std::runtime_error("outer"); });
    ASSERT_EQ(Outer.Seen.size(), 1u);
    EXPECT_EQ(Outer.Seen[0], "outer");
}

} // namespace

namespace {

// Presses through the window, hit-tested as a pointer makes them.
struct TLabelClickCase {
    const char* Name;
    bool Listened;
    Qt::MouseButton Button;
    QPoint ReleaseAt;
    int Clicks;
    bool ParentSawPress;
};

class TPressCounter : public QWidget {
  public:
    int Presses = 0;

  protected:
    void mousePressEvent(QMouseEvent*) override { ++Presses; }
};

TEST(LabelClick, OnlyALabelThatIsListenedToTakesPressesAndClicksOnALeftReleaseInside) {
    const TLabelClickCase Cases[] = {
        {"a left click", true, Qt::LeftButton, {5, 5}, 1, false},
        {"a right click", true, Qt::RightButton, {5, 5}, 0, false},
        {"let go outside", true, Qt::LeftButton, {40, 5}, 0, false},
        {"nobody listens", false, Qt::LeftButton, {5, 5}, 0, true},
    };
    for (const auto& Case : Cases) {
        TPressCounter Window;
        Window.resize(60, 30);
        auto* Label = new TLabel(&Window);
        Label->setGeometry(0, 0, 20, 13);
        Label->setText(QStringLiteral("Help"));
        int Clicks = 0;
        if (Case.Listened) {
            QObject::connect(Label, &TLabel::Click, [&] { ++Clicks; });
        }
        Window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
        QTest::mousePress(Window.windowHandle(), Case.Button, {}, QPoint(5, 5));
        QTest::mouseRelease(Window.windowHandle(), Case.Button, {}, Case.ReleaseAt);
        EXPECT_EQ(Clicks, Case.Clicks) << Case.Name;
        EXPECT_EQ(Window.Presses > 0, Case.ParentSawPress) << Case.Name;
    }
}

} // namespace
