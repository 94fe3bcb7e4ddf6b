// Where every control of the main window and of the About box sits, in dialog units
// converted through each window's own font.

#include <QLabel>

#include "DialogFixture.h"
#include "app/AboutDlg.h"
#include "app/DialogUnits.h"

namespace {
struct Placement {
    const char* control;
    const QWidget* widget;
    QRect units;  // x, y, width, height in dialog units
};

void ExpectPlacements(const QWidget& window, const std::vector<Placement>& placements) {
    const DialogUnits du(window.font());
    for (const Placement& p : placements) {
        SCOPED_TRACE(p.control);
        ASSERT_NE(p.widget, nullptr);
        EXPECT_EQ(p.widget->parentWidget(), &window);
        const QRect expected = du.Rect(p.units.x(), p.units.y(), p.units.width(), p.units.height());
        EXPECT_EQ(p.widget->geometry(), expected);
    }
}
}  // namespace

// The client list (1005) and Remove (1006) are checked with the window's start-up state.
TEST_F(DialogTest, EveryControlSitsWhereTheTemplatePutsIt) {
    ExpectPlacements(*dlg, {
                               {"Connect 1001", dlg->GetDlgItem(1001), {78, 7, 50, 14}},
                               {"Read 1002", dlg->GetDlgItem(1002), {7, 28, 50, 14}},
                               {"Write 1003", dlg->GetDlgItem(1003), {60, 28, 50, 14}},
                               {"server list 1004", dlg->GetDlgItem(1004), {7, 48, 306, 44}},
                               {"HELP 1007", dlg->GetDlgItem(1007), {263, 7, 50, 14}},
                           });
    // The template's height of the port list (30) is that of its dropped-down list; the
    // closed field takes the height the platform gives it.
    const DialogUnits du(dlg->font());
    const QRect combo = dlg->GetDlgItem(1000)->geometry();
    EXPECT_EQ(combo.topLeft(), QPoint(du.X(7), du.Y(7)));
    EXPECT_EQ(combo.right(), du.X(7 + 67) - 1);
}

TEST(AboutBox, EveryItemSitsWhereTheTemplatePutsIt) {
    CAboutDlg about;
    ExpectPlacements(about, {
                                {"icon", about.IconLabel(), {14, 14, 20, 20}},
                                {"name and version", about.VersionLabel(), {42, 14, 114, 8}},
                                {"second line", about.SecondLabel(), {42, 26, 114, 8}},
                                {"OK", about.OkButton(), {113, 41, 50, 14}},
                            });
}
