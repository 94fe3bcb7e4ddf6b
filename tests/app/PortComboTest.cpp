#include <QComboBox>
#include <QTest>

#include "DialogFixture.h"
#include "app/PortCombo.h"

namespace {
QStringList Items(const QComboBox& combo) {
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i) + QLatin1Char('=') + combo.itemData(i).toString();
    return items;
}
}  // namespace

TEST(SortedPortList, InsertsLikeASortedListIgnoringCase) {
    const QStringList items = {QStringLiteral("COM10"), QStringLiteral("com3"), QStringLiteral("COM9")};
    EXPECT_EQ(SortedInsertIndex({}, QStringLiteral("COM1")), 0);
    EXPECT_EQ(SortedInsertIndex(items, QStringLiteral("COM1")), 0);
    EXPECT_EQ(SortedInsertIndex(items, QStringLiteral("COM3")), 2);  // after its equal
    EXPECT_EQ(SortedInsertIndex(items, QStringLiteral("COM4")), 2);
    EXPECT_EQ(SortedInsertIndex(items, QStringLiteral("ttyACM0")), 3);
}

TEST_F(DialogTest, PortListFollowsPlugAndUnplug) {
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(dlg->m_comboPort->count(), 0);
    EXPECT_FALSE(dlg->m_comboPort->isEnabled());
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_FALSE(dlg->m_btnConnect->isEnabled());
    EXPECT_TRUE(dlg->SelectedPort().location.isEmpty());

    // A device without the identifier, or with a longer one, is not the device.
    lister.devices.push_back({QStringLiteral("Modem (COM3)"), QStringLiteral("COM3"),
                              {QStringLiteral("USB\\VID_2E05&PID_2003&REV_0100")}, QStringLiteral("/dev/ttyS3")});
    Plug(QStringLiteral("COM5"), QStringLiteral("/dev/ttyACM5"));
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(Items(*dlg->m_comboPort), QStringList{QStringLiteral("COM5=/dev/ttyACM5")});
    EXPECT_TRUE(dlg->m_comboPort->isEnabled() && dlg->m_btnConnect->isEnabled());
    EXPECT_EQ(dlg->SelectedPort().name, QStringLiteral("COM5"));
    EXPECT_EQ(dlg->SelectedPort().location, QStringLiteral("/dev/ttyACM5"));

    lister.devices.clear();
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    dlg->OnTimer(TIMER_UI_REFRESH);
    EXPECT_EQ(dlg->m_comboPort->count(), 0);
    EXPECT_FALSE(dlg->m_comboPort->isEnabled() || dlg->m_btnConnect->isEnabled());

    // A failed enumeration is an empty list; the state is applied on every tick.
    Plug(QStringLiteral("COM5"), QStringLiteral("/dev/ttyACM5"));
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    lister.fail = true;
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(dlg->m_comboPort->count(), 0);
    dlg->m_comboPort->setEnabled(true);
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_FALSE(dlg->m_comboPort->isEnabled());
}

TEST_F(DialogTest, TwoDevicesAreSortedAndTheLastEnumeratedIsSelected) {
    Plug(QStringLiteral("COM10"), QStringLiteral("/dev/ttyACM10"));
    Plug(QStringLiteral("COM9"), QStringLiteral("/dev/ttyACM9"));
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(Items(*dlg->m_comboPort),
              (QStringList{QStringLiteral("COM10=/dev/ttyACM10"), QStringLiteral("COM9=/dev/ttyACM9")}));
    EXPECT_EQ(dlg->SelectedPort().name, QStringLiteral("COM9"));

    // An unchanged set, even enumerated in another order, leaves the user's choice alone.
    dlg->m_comboPort->setCurrentIndex(0);
    std::swap(lister.devices[0], lister.devices[1]);
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(dlg->SelectedPort().name, QStringLiteral("COM10"));
    EXPECT_EQ(dlg->m_comboPort->count(), 2);
}

// A device replaced by another on a different port between two scans: the count stays,
// but the list shows the port that is really there.
TEST_F(DialogTest, ReplacedPortWithTheSameCountRebuildsTheList) {
    Plug(QStringLiteral("COM4"), QStringLiteral("/dev/ttyACM4"));
    Plug(QStringLiteral("COM7"), QStringLiteral("/dev/ttyACM7"));
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    dlg->m_comboPort->setCurrentIndex(0);

    lister.devices[1] = {QStringLiteral("Port (COM8)"), QStringLiteral("COM8"),
                         {QString::fromUtf16(DEVICE_HARDWARE_ID)}, QStringLiteral("/dev/ttyACM8")};
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(Items(*dlg->m_comboPort),
              (QStringList{QStringLiteral("COM4=/dev/ttyACM4"), QStringLiteral("COM8=/dev/ttyACM8")}));
    EXPECT_EQ(dlg->SelectedPort().name, QStringLiteral("COM8"));

    // Same name, new place: the item data must follow.
    lister.devices[1].location = QStringLiteral("/dev/ttyACM9");
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_EQ(dlg->SelectedPort().location, QStringLiteral("/dev/ttyACM9"));
}

// The port list loses its last port while it has the focus: no other control takes the
// focus, so Enter still ends the dialog instead of pressing the next enabled button (HELP).
TEST_F(DialogTest, DisabledPortListHandsTheFocusToNoOtherControl) {
    Plug(QStringLiteral("COM5"), QStringLiteral("/dev/ttyACM5"));
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    dlg->OnTimer(TIMER_UI_REFRESH);
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    dlg->m_comboPort->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), dlg->m_comboPort);

    lister.devices.clear();
    dlg->OnTimer(TIMER_DEVICE_SCAN);
    EXPECT_FALSE(dlg->m_comboPort->isEnabled());
    EXPECT_EQ(dlg->focusWidget(), nullptr);
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(services.openedDocuments.empty() && services.messages.empty());
}
