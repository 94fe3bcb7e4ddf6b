#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>

#include "DialogFixture.h"

namespace {
// Colour at the left edge of the (empty) Information cell of `row`, as painted on screen.
QColor PaintedColour(QTableWidget* list, int row) {
    const QImage image = list->viewport()->grab().toImage();
    const QRect cell = list->visualRect(list->model()->index(row, 1));
    return image.pixelColor(cell.left() + 2, cell.center().y());
}
const QColor kTarget(0, 120, 215), kWhite(255, 255, 255), kGrey(240, 240, 240);
}  // namespace

TEST_F(DialogTest, ListsHaveTheirColumnsAndRowLabels) {
    for (auto [list, title, rows] : {std::tuple{dlg->m_listServer, "Server", 2},
                                     std::tuple{dlg->m_listClient, "Client", 13}}) {
        ASSERT_EQ(list->columnCount(), 2);
        EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QString::fromLatin1(title));
        EXPECT_EQ(list->horizontalHeaderItem(1)->text(), QStringLiteral("Information"));
        EXPECT_EQ(list->columnWidth(0), 120);
        EXPECT_EQ(list->columnWidth(1), 400);
        EXPECT_EQ(list->rowCount(), rows);
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_TRUE(list->showGrid());
    }
    EXPECT_EQ(dlg->m_listServer->item(0, 0)->text(), QStringLiteral("Certificate"));
    EXPECT_EQ(dlg->m_listServer->item(1, 0)->text(), QStringLiteral("Key"));
    EXPECT_EQ(dlg->m_listClient->item(0, 0)->text(), QStringLiteral("Certificate 1"));
    EXPECT_EQ(dlg->m_listClient->item(12, 0)->text(), QStringLiteral("Certificate 13"));
}

TEST_F(DialogTest, OneTargetAcrossBothListsPaintedEvenWithoutFocus) {
    Connect();
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));

    // Clicking Certificate 5 makes slot 6 the target; it stays blue when Write takes focus.
    QTest::mouseClick(dlg->m_listClient->viewport(), Qt::LeftButton, {},
                      dlg->m_listClient->visualRect(dlg->m_listClient->model()->index(4, 0)).center());
    EXPECT_EQ(SlotFromListRow(dlg->m_nTargetListId, dlg->m_nTargetRow), 6);
    dlg->m_btnWrite->setFocus();
    EXPECT_EQ(PaintedColour(dlg->m_listClient, 4), kTarget);
    EXPECT_EQ(PaintedColour(dlg->m_listClient, 3), kWhite);

    // The Key row takes the target; the client row turns white again.
    QTest::mouseClick(dlg->m_listServer->viewport(), Qt::LeftButton, {},
                      dlg->m_listServer->visualRect(dlg->m_listServer->model()->index(1, 1)).center());
    EXPECT_EQ(dlg->m_nTargetListId, IDC_LIST_SERVER);
    EXPECT_EQ(dlg->m_nTargetRow, 1);
    EXPECT_EQ(PaintedColour(dlg->m_listServer, 1), kTarget);
    EXPECT_EQ(PaintedColour(dlg->m_listClient, 4), kWhite);
    const SlotCellColours target = dlg->OnListCustomDraw(IDC_LIST_SERVER, 1);
    EXPECT_EQ(target.text, kWhite);

    // Disconnected: other rows grey, the target keeps its colours.
    dlg->m_btnConnect->click();
    ASSERT_TRUE(RunUntil(STATE_CLOSED));
    EXPECT_FALSE(dlg->m_listServer->isEnabled());
    EXPECT_EQ(PaintedColour(dlg->m_listServer, 0), kGrey);
    EXPECT_EQ(PaintedColour(dlg->m_listServer, 1), kTarget);
    EXPECT_EQ(dlg->OnListCustomDraw(IDC_LIST_CLIENT, 1).text, QColor(0, 0, 0));
}

TEST_F(DialogTest, FocusOrEmptySelectionLeavesARowlessTarget) {
    Connect();
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    dlg->m_listServer->selectRow(0);
    EXPECT_EQ(dlg->m_nTargetListId, IDC_LIST_SERVER);
    EXPECT_EQ(dlg->m_nTargetRow, 0);

    // Tabbing into the client list, which has no selected row.
    dlg->m_listServer->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg->m_listServer, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dlg->m_listClient);
    EXPECT_EQ(dlg->m_nTargetListId, IDC_LIST_CLIENT);
    EXPECT_EQ(dlg->m_nTargetRow, -1);
    EXPECT_EQ(PaintedColour(dlg->m_listServer, 0), kWhite);

    // Ctrl+click on the selected row empties the selection.
    dlg->m_listClient->selectRow(2);
    EXPECT_EQ(dlg->m_nTargetRow, 2);
    QTest::mouseClick(dlg->m_listClient->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      dlg->m_listClient->visualRect(dlg->m_listClient->model()->index(2, 0)).center());
    EXPECT_EQ(dlg->m_nTargetListId, IDC_LIST_CLIENT);
    EXPECT_EQ(dlg->m_nTargetRow, -1);
}

// Resting the pointer on an Information cell shows its whole text as it stands, also where
// the column cuts it off; the cell keeps its own text. Other cells show no tooltip.
TEST_F(DialogTest, InformationCellsShowTheirWholeTextWhenHovered) {
    // The tests' platform under wine (Qt's minimal one) hides a tool tip as it shows it.
    if (QGuiApplication::platformName() == QLatin1String("minimal"))
        GTEST_SKIP() << "no tool tips on the minimal platform";
    struct Row {
        int column;
        QString text;
        bool tip;
    };
    const Row rows[] = {
        {1,
         QStringLiteral("1.2.840.10045.4.3.3 , Sample Issuing CA , Plant North , Quillbank "
                        "Samples Regional Authority , 2027-06-01 12:00:00"),
         true},
        {1, QStringLiteral("<b>Lab & Co</b>  two  blanks , 2030-01-01 00:00:00"), true},
        {1, QString(), false},
        {0, QStringLiteral("Certificate 1"), false},
    };
    dlg->show();
    QWidget* viewport = dlg->m_listClient->viewport();
    for (const Row& row : rows) {
        QTableWidgetItem* cell = dlg->m_listClient->item(0, row.column);
        cell->setText(row.text);
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        const QPoint at = dlg->m_listClient->visualItemRect(cell).center();
        QHelpEvent hover(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &hover);
        ASSERT_EQ(QToolTip::isVisible(), row.tip) << row.text.toStdString();
        if (row.tip) {
            QTextDocument shown;
            shown.setHtml(QToolTip::text());
            EXPECT_EQ(shown.toPlainText(), row.text);
        }
        EXPECT_EQ(cell->text(), row.text);
    }
}
