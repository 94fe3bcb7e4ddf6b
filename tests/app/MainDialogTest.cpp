#include <QAction>
#include <QEventLoop>
#include <QHeaderView>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "DialogFixture.h"
#include "app/AboutDlg.h"
#include "app/DialogUnits.h"

namespace {
// Runs `check` on the next modal window that opens, then closes it with `button`.
void OnNextModal(std::function<void(QWidget*)> check) {
    QTimer::singleShot(50, [check = std::move(check)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        check(modal);
    });
}
}  // namespace

TEST_F(DialogTest, StartsWithItsControlsAndNoTarget) {
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Quill Bank"));
    const DialogUnits du(dlg->font());
    EXPECT_EQ(dlg->size(), du.Size(320, 272));
    EXPECT_EQ(dlg->m_listClient->geometry(), du.Rect(7, 100, 306, 165));
    EXPECT_EQ(dlg->m_btnRemove->geometry(), du.Rect(263, 28, 50, 14));

    const std::pair<int, const char*> buttons[] = {
        {IDC_BUTTON_CONNECT, "Connect"}, {IDC_BUTTON_READ, "Read"}, {IDC_BUTTON_WRITE, "Write"},
        {IDC_BUTTON_REMOVE, "Remove"}, {IDC_BUTTON_HELP, "HELP"}};
    for (const auto& [id, text] : buttons) {
        auto* button = qobject_cast<QPushButton*>(dlg->GetDlgItem(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text(), QString::fromLatin1(text));
        EXPECT_FALSE(button->isDefault() || button->autoDefault()) << id;
    }
    EXPECT_EQ(dlg->GetDlgItem(IDC_COMBO_PORT), dlg->m_comboPort);
    EXPECT_EQ(dlg->m_comboPort->count(), 0);
    EXPECT_TRUE(dlg->m_comboPort->isEnabled());  // until the first scan
    EXPECT_EQ(dlg->m_nTargetListId, 0);
    EXPECT_EQ(dlg->m_nTargetRow, -1);
    EXPECT_FALSE(dlg->m_progress.isVisible());
    EXPECT_FALSE(dlg->windowIcon().isNull());
    ASSERT_NE(dlg->AboutAction(), nullptr);
    EXPECT_EQ(dlg->AboutAction()->text(), QStringLiteral("Quillbankについて(&A)..."));
    EXPECT_EQ(dlg->contextMenuPolicy(), Qt::ActionsContextMenu);
}

// Before the first tick the controls already look as the first refresh leaves them, so the
// window does not first show enabled controls; the port list stays enabled until the scan.
TEST_F(DialogTest, ControlsHaveTheirClosedLookBeforeTheFirstTick) {
    auto look = [this] {
        std::vector<std::pair<bool, QString>> controls;
        for (int id : {IDC_COMBO_PORT, IDC_BUTTON_CONNECT, IDC_BUTTON_READ, IDC_BUTTON_WRITE,
                       IDC_BUTTON_REMOVE, IDC_LIST_SERVER, IDC_LIST_CLIENT, IDC_BUTTON_HELP}) {
            QWidget* control = dlg->GetDlgItem(id);
            auto* button = qobject_cast<QPushButton*>(control);
            controls.emplace_back(control->isEnabled(), button ? button->text() : QString());
        }
        return controls;
    };
    const std::vector<std::pair<bool, QString>> expected = {{true, QString()},
                                                            {false, QStringLiteral("Connect")},
                                                            {false, QStringLiteral("Read")},
                                                            {false, QStringLiteral("Write")},
                                                            {false, QStringLiteral("Remove")},
                                                            {false, QString()},
                                                            {false, QString()},
                                                            {true, QStringLiteral("HELP")}};
    EXPECT_EQ(look(), expected);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(look(), expected);
}

TEST_F(DialogTest, RestartReminderShowsOnceWithItsFlagAlreadyCleared) {
    CQuillbankDlg::s_bShowRestartReminder = true;
    bool flagDuringBox = true;
    services.onMessage = [&] {
        flagDuringBox = CQuillbankDlg::s_bShowRestartReminder;
        dlg->OnTimer(TIMER_UI_REFRESH);  // a tick inside the box
    };
    dlg->OnTimer(TIMER_ENGINE);
    dlg->OnTimer(TIMER_UI_REFRESH);
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_FALSE(flagDuringBox);
    EXPECT_EQ(services.messages[0].text,
              QStringLiteral("If you write or delete a file, be sure to restart the target Tolvane."));
    EXPECT_EQ(services.messages[0].caption, QStringLiteral("Message"));
    EXPECT_EQ(services.messages[0].type, 0x30u);
}

// The reminder comes from a real timer tick; while it is open every 100 ms timer, the one
// that showed it included, must go on working.
TEST_F(DialogTest, TimersKeepTickingInsideABoxShownByATick) {
    CQuillbankDlg::s_bShowRestartReminder = true;
    OpenFakePort();
    Enter(STATE_SEND_CLOSE);  // the next engine step writes one command
    int scansBeforeBox = -1;
    int readsDuringBox = 0;
    QString captionDuringBox;
    size_t writesDuringBox = 0;
    services.onMessage = [&] {
        scansBeforeBox = lister.scans;
        const int readsBefore = ports.line->reads;
        dlg->m_btnConnect->setText(QString());
        QEventLoop loop;
        QTimer::singleShot(600, &loop, &QEventLoop::quit);
        loop.exec();
        readsDuringBox = ports.line->reads - readsBefore;
        captionDuringBox = dlg->m_btnConnect->text();
        writesDuringBox = ports.line->writes.size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!services.messages.empty(), 3000);
    EXPECT_EQ(scansBeforeBox, 0);  // a 100 ms tick comes before the first scan
    EXPECT_GE(readsDuringBox, 2);
    EXPECT_EQ(captionDuringBox, QStringLiteral("Disconnect"));
    EXPECT_EQ(writesDuringBox, 1u);
    EXPECT_EQ(services.messages.size(), 1u);
}

TEST_F(DialogTest, ConnectLoadsEverySlotAndDisconnectEmptiesTheCells) {
    device.files[1] = std::string(1218, 'k');
    device.files[6] = std::string(600, 'c');
    Connect();
    EXPECT_EQ(ports.opened.back(), QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(dlg->m_btnConnect->text(), QStringLiteral("Disconnect"));
    EXPECT_EQ(Cell(1), QStringLiteral("File Size : 1218Bytes"));
    EXPECT_EQ(Cell(6), QStringLiteral("File Size : 600Bytes"));
    EXPECT_EQ(Cell(0), QString());
    EXPECT_TRUE(dlg->m_listServer->isEnabled() && dlg->m_btnWrite->isEnabled());

    dlg->m_btnConnect->click();
    ASSERT_TRUE(RunUntil(STATE_CLOSED));
    EXPECT_TRUE(ports.line->closed);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) EXPECT_EQ(Cell(slot), QString()) << slot;
    EXPECT_EQ(dlg->m_btnConnect->text(), QStringLiteral("Connect"));
    EXPECT_FALSE(dlg->m_listClient->isEnabled() || dlg->m_btnRead->isEnabled());
}

TEST_F(DialogTest, ButtonsReachTheirCommands) {
    Connect();
    for (QPushButton* button : {dlg->m_btnRead, dlg->m_btnWrite, dlg->m_btnRemove}) {
        services.messages.clear();
        button->click();
        ASSERT_EQ(services.messages.size(), 1u) << button->text().toStdString();
        EXPECT_EQ(services.messages[0].text, QStringLiteral("Please select the target from the list."));
    }
}

TEST_F(DialogTest, EscapeAndEnterOutsideAButtonEndTheDialogWithoutReleasingSlots) {
    device.files[3] = "abc";
    Connect();
    dlg->show();
    QTimer::singleShot(0, [this] { QTest::keyClick(dlg->m_listClient, Qt::Key_Escape); });
    EXPECT_EQ(dlg->DoModal(), QDialog::Rejected);
    EXPECT_TRUE(dlg->SlotHasBuffer(3));

    QTimer::singleShot(0, [this] {
        dlg->m_comboPort->setFocus();
        QTest::keyClick(dlg->m_comboPort, Qt::Key_Return);
    });
    EXPECT_EQ(dlg->DoModal(), QDialog::Accepted);
    EXPECT_TRUE(dlg->IsPortOpen());
}

TEST_F(DialogTest, EnterOnAButtonPressesIt) {
    Connect();
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    dlg->m_btnConnect->setFocus();
    QTest::keyClick(dlg->m_btnConnect, Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->State(), STATE_DISCONNECT);
}

TEST_F(DialogTest, CloseBoxReleasesSlotBuffersButKeepsThePort) {
    device.files[0] = "certificate";
    device.files[8] = "more";
    Connect();
    dlg->show();
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) EXPECT_FALSE(dlg->SlotHasBuffer(slot)) << slot;
    EXPECT_EQ(dlg->SlotSize(8), 4);  // sizes stay
    EXPECT_TRUE(dlg->IsPortOpen());
}

TEST_F(DialogTest, AboutCommandShowsTheAboutBox) {
    bool seen = false;
    OnNextModal([&](QWidget* modal) {
        auto* about = qobject_cast<CAboutDlg*>(modal);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), QStringLiteral("Quillbank について"));
        EXPECT_EQ(about->VersionLabel()->text(), QStringLiteral("Quillbank、バージョン 1.0"));
        EXPECT_EQ(about->OkButton()->text(), QStringLiteral("OK"));
        EXPECT_TRUE(about->OkButton()->isDefault());
        EXPECT_FALSE(about->IconLabel()->pixmap().isNull());
        seen = true;
        about->OkButton()->click();
    });
    dlg->AboutAction()->trigger();
    EXPECT_TRUE(seen);
}
