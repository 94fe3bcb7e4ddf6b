#include <QTest>
#include <set>

#include "DialogFixture.h"

namespace {
// The states of a running Read, Write or Remove.
const std::set<int> kTransferStates = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 22, 23};
}  // namespace

// Escape, and Enter outside a push button, end the dialog at once except while a Read, Write
// or Remove runs, when they do nothing. The slot buffers stay either way.
TEST_F(DialogTest, KeysEndTheDialogExceptDuringATransfer) {
    OpenFakePort();
    dlg->UpdateControlEnabling();
    EngineSetup::PreloadSlot(*dlg, 3, {}, SLOT_PENDING);
    for (int state = STATE_CLOSED; state <= STATE_AWAIT_CLOSE; ++state) {
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            dlg->show();
            dlg->setResult(-1);
            Enter(state);
            QTest::keyClick(dlg->m_listClient, key);
            const bool transfer = kTransferStates.count(state) != 0;
            EXPECT_EQ(dlg->isVisible(), transfer) << state << " key " << key;
            if (!transfer) {
                EXPECT_EQ(dlg->result(),
                          key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted)
                    << state << " key " << key;
            }
            EXPECT_TRUE(dlg->SlotHasBuffer(3)) << state;
        }
    }
}

// The close box asks first during a transfer: OK closes, Cancel keeps the window, and a
// transfer that ends while the box is open takes the question down and lets the window close
// whatever would have been answered. A Read's or Write's progress window, even one the user
// closed, is up before the box opens, so that the box opens over it. The slot buffers are
// released only when the dialog really closes.
TEST_F(DialogTest, CloseBoxAsksWhileATransferRuns) {
    Connect();
    struct Row {
        int state;
        int answer;
        bool endsWhileAsked;
        bool asked;
        bool closes;
        bool progressShown;  // when the box opened
    };
    const Row rows[] = {
        {STATE_READY, MsgBox::IdCancel, false, false, true, false},
        {STATE_LOAD_AWAIT_DATA, MsgBox::IdCancel, false, false, true, false},
        {STATE_CLOSED, MsgBox::IdCancel, false, false, true, false},
        {STATE_WRITE_AWAIT_DATA, MsgBox::IdCancel, false, true, false, true},
        {STATE_WRITE_AWAIT_DATA, MsgBox::IdOk, false, true, true, true},
        {STATE_REMOVE_SEND, MsgBox::IdCancel, false, true, false, false},
        {STATE_READ_AWAIT_DATA, MsgBox::IdOk, false, true, true, true},
        {STATE_READ_SEND_OPEN, MsgBox::IdCancel, false, true, false, true},
        {STATE_AWAIT_CLOSE, MsgBox::IdCancel, false, true, false, false},
        {STATE_REMOVE_SEND, MsgBox::IdCancel, true, true, true, false},
        {STATE_REMOVE_SEND, MsgBox::IdOk, true, true, true, false},
    };
    for (const Row& row : rows) {
        dlg->show();
        dlg->m_progress.hide();
        if (!dlg->SlotHasBuffer(5)) EngineSetup::PreloadSlot(*dlg, 5, {}, dlg->SlotStatus(5));
        EngineSetup::PutInState(*dlg, row.state, 3);
        services.messages.clear();
        services.messageAnswers = {row.answer};
        bool progressShown = false;
        services.onMessage = [&] {
            progressShown = dlg->m_progress.isVisible();
            if (row.endsWhileAsked) {
                EXPECT_TRUE(RunUntil(STATE_READY)) << row.state;
            }
        };
        dlg->close();
        services.onMessage = nullptr;
        EXPECT_EQ(dlg->isVisible(), !row.closes) << row.state;
        EXPECT_EQ(!dlg->SlotHasBuffer(5), row.closes) << row.state;
        ASSERT_EQ(services.messages.size(), row.asked ? 1u : 0u) << row.state;
        if (row.asked) {
            EXPECT_EQ(services.messages[0].text,
                      QStringLiteral("A transfer with the device is in progress. Close anyway?"));
            EXPECT_EQ(services.messages[0].caption, QString());
            EXPECT_EQ(services.messages[0].type, MsgBox::OkCancel | MsgBox::IconExclamation);
            EXPECT_EQ(progressShown, row.progressShown) << row.state;
        }
    }
}
