#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <set>

#include "DialogFixture.h"
#include "support/Trace.h"

namespace {
// Captures the debug output for the life of the object.
struct DebugCapture {
    QString text;
    TextSink previous = SetDebugOutputSink([this](const QString& piece) { text += piece; });
    ~DebugCapture() { SetDebugOutputSink(previous); }
};

// What the progress window did with a key: hidden at once, with which result, and shown
// again by the next refresh.
struct KeyAnswer {
    bool hidden;
    int result;
    bool shownAgain;
    bool operator==(const KeyAnswer&) const = default;
};
void PrintTo(const KeyAnswer& answer, std::ostream* out) {
    *out << "{hidden " << answer.hidden << ", result " << answer.result << ", shown again "
         << answer.shownAgain << "}";
}
}  // namespace

TEST_F(DialogTest, ControlsFollowThePortNotTheEngine) {
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_btnConnect->text(), QStringLiteral("Connect"));
    for (QWidget* w : std::initializer_list<QWidget*>{dlg->m_btnConnect, dlg->m_btnRead, dlg->m_btnWrite,
                                                      dlg->m_btnRemove, dlg->m_listServer, dlg->m_listClient})
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_TRUE(dlg->m_btnHelp->isEnabled());

    OpenFakePort();
    Enter(STATE_LOAD_AWAIT_DATA);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_btnConnect->text(), QStringLiteral("Disconnect"));
    EXPECT_FALSE(dlg->m_btnConnect->isEnabled());  // the port list is empty (unplugged)
    EXPECT_TRUE(dlg->m_btnRead->isEnabled() && dlg->m_btnRemove->isEnabled() &&
                dlg->m_listClient->isEnabled());
}

TEST_F(DialogTest, SlotLoadProgressCountsDoneSlotsAndThePartOfTheCurrentOne) {
    DebugCapture debug;
    Enter(STATE_LOAD_NEXT);
    dlg->m_progress.m_progressCtrl->setRange(0, 100);
    dlg->m_progress.m_progressCtrl->setValue(40);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->maximum(), 1500);  // reset at once
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->value(), 0);
    EXPECT_TRUE(dlg->m_progress.isVisible());
    EXPECT_EQ(debug.text, QStringLiteral("read=0.000000\r\n"));

    // Slots 0 to 4 loaded (empty), half of the 1000 bytes slot 5 announced in.
    for (int slot = 0; slot < 5; ++slot) EngineSetup::PreloadSlot(*dlg, slot, {}, SLOT_DONE);
    EngineSetup::AnnounceTotal(*dlg, 1000);
    EngineSetup::PreloadSlot(*dlg, 5, std::vector<std::uint8_t>(500), SLOT_PENDING);
    EngineSetup::PutInState(*dlg, STATE_LOAD_AWAIT_DATA, 5);
    debug.text.clear();
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(debug.text, QStringLiteral("read=550.000000\r\n"));
    EXPECT_EQ(dlg->m_progress.m_nPos, 550);
    EXPECT_EQ(dlg->m_progress.m_nRange, 1500);
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->value(), 0);  // the bar follows its own timer
    dlg->m_progress.OnTimer(CProgressWindow::TIMER_PROGRESS);
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->value(), 550);

    // A slot already done adds no part of its own.
    EngineSetup::PreloadSlot(*dlg, 5, std::vector<std::uint8_t>(500), SLOT_DONE);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_progress.m_nPos, 600);
}

TEST_F(DialogTest, WriteProgressFollowsTheFilePosition) {
    Connect();
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(QByteArray(1000, 'w'));
    file.close();
    LocalFile source(std::fopen(QFile::encodeName(file.fileName()).constData(), "rb"));
    ASSERT_NE(source, nullptr);
    ASSERT_EQ(dlg->StartWrite(4, std::move(source), 1000, file.fileName()), StartRefusal::None);

    std::vector<int> positions;
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->maximum(), 1000);
    while (dlg->State() >= STATE_WRITE_SEND_OPEN && dlg->State() <= STATE_WRITE_AWAIT_DATA) {
        if (positions.empty() || positions.back() != dlg->m_progress.m_nPos)
            positions.push_back(dlg->m_progress.m_nPos);
        EXPECT_EQ(dlg->m_progress.m_nRange, 1000);
        EXPECT_TRUE(dlg->m_progress.isVisible());
        Round();
    }
    EXPECT_EQ(positions, (std::vector<int>{0, 256, 512, 768, 1000}));
    ASSERT_TRUE(RunUntil(STATE_READY));
    EXPECT_FALSE(dlg->m_progress.isVisible());
    EXPECT_EQ(device.files[4], std::string(1000, 'w'));
}

TEST_F(DialogTest, ProgressWindowIsShownOnlyForTransfersAndCentredOverTheDialog) {
    EXPECT_TRUE(dlg->m_progress.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dlg->m_progress.windowTitle(), QStringLiteral("Quill Bank"));
    dlg->show();
    dlg->move(100, 60);
    // A Read with no stream open shows an empty scale.
    Enter(STATE_READ_AWAIT_DATA);
    dlg->OnTimer(TIMER_UI_REFRESH);
    ASSERT_TRUE(dlg->m_progress.isVisible());
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->maximum(), 0);
    const QRect main = dlg->frameGeometry();
    const QRect bar = dlg->m_progress.frameGeometry();
    EXPECT_EQ(bar.left(), main.left() + main.width() / 2 - bar.width() / 2);
    EXPECT_EQ(bar.top(), main.top() + main.height() / 2 - bar.height() / 2);

    dlg->move(300, 200);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_progress.frameGeometry().left() - bar.left(), 200);

    // Only the low 16 bits of the range reach the bar.
    dlg->m_progress.m_nRange = 0x10000 + 300;
    dlg->m_progress.m_nPos = 200;
    dlg->m_progress.OnTimer(CProgressWindow::TIMER_PROGRESS);
    EXPECT_EQ(dlg->m_progress.m_progressCtrl->maximum(), 300);

    for (int state : {STATE_CLOSED, STATE_CONNECT, STATE_READY, STATE_REMOVE_AWAIT,
                      STATE_DISCONNECT, STATE_SEND_CLOSE, STATE_AWAIT_CLOSE}) {
        Enter(STATE_READ_AWAIT_DATA);
        dlg->OnTimer(TIMER_UI_REFRESH);
        Enter(state);
        dlg->OnTimer(TIMER_UI_REFRESH);
        EXPECT_FALSE(dlg->m_progress.isVisible()) << state;
        EXPECT_EQ(dlg->m_progress.m_progressCtrl->maximum(), 100) << state;
        EXPECT_EQ(dlg->m_progress.m_nPos, 0) << state;
    }
}

// While the main dialog runs modally, the progress window still takes its own keys: Escape
// ends it as a dialog that was cancelled, Enter as one that was accepted (hidden, not
// destroyed), and the next busy refresh brings it back. The dialog's own timers are stopped:
// a refresh of theirs that fell due during a key press (a slow machine, a loaded one) would
// show the window again before it was seen hidden.
TEST_F(DialogTest, ProgressWindowAnswersEscapeAndEnterDuringTheModalLoop) {
    StopTimers();
    Enter(STATE_LOAD_NEXT);
    std::vector<KeyAnswer> answers;  // per key
    QTimer::singleShot(0, [&] {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            dlg->OnTimer(TIMER_UI_REFRESH);
            dlg->m_progress.setResult(-1);
            QTest::keyClick(dlg->m_progress.windowHandle(), key);
            const bool hidden = !dlg->m_progress.isVisible();
            const int result = dlg->m_progress.result();
            dlg->OnTimer(TIMER_UI_REFRESH);
            answers.push_back({hidden, result, dlg->m_progress.isVisible()});
        }
        dlg->OnCancel();
    });
    dlg->DoModal();
    const std::vector<KeyAnswer> expected = {{true, QDialog::Rejected, true},
                                             {true, QDialog::Accepted, true},
                                             {true, QDialog::Accepted, true}};
    EXPECT_EQ(answers, expected);
}

// A range of 0 to 0 shows an empty bar, not the style's animated busy indicator.
TEST_F(DialogTest, ZeroRangeShowsAnEmptyBar) {
    CProgressCtrl& bar = *dlg->m_progress.m_progressCtrl;
    dlg->m_progress.show();
    CProgressCtrl empty(&dlg->m_progress);
    empty.setTextVisible(false);
    empty.setGeometry(bar.geometry());
    empty.setRange(0, 100);
    empty.setValue(0);
    dlg->m_progress.SetBar(0, 0);
    ASSERT_EQ(bar.maximum(), 0);
    EXPECT_EQ(bar.grab().toImage(), empty.grab().toImage());
}
