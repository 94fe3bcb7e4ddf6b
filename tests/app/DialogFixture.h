#pragma once
// The main dialog over a fake port, fake dialogs and a fake port list, plus a small device
// that answers the commands the dialog writes.

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "QtPrinters.h"
#include "app/QuillbankDlg.h"
#include "engine/EngineSetup.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDeviceLister.h"
#include "fakes/FakeDialogServices.h"
#include "protocol/Frame.h"
#include "support/Text.h"

// The device side of the protocol over a FakeLine: fifteen slot files, served in pieces.
class DeviceResponder {
public:
    explicit DeviceResponder(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}

    std::array<std::string, SLOT_COUNT> files;
    size_t piece = 256;

    // Answers every command written since the last call.
    void Answer() {
        for (; m_answered < m_line->writes.size(); ++m_answered) {
            std::map<std::string, std::string> fields;
            int position = 0;
            const std::string& frame = m_line->writes[m_answered];
            for (std::string field; !(field = Tokenize(frame, ",", position)).empty();) {
                const size_t colon = field.find(':');
                if (colon != std::string::npos) fields[field.substr(0, colon)] = field.substr(colon + 1);
            }
            const std::string cmd = fields["CMD"];
            const int pos = static_cast<int>(HexToLong(fields["POS"]));
            const size_t slot = static_cast<size_t>(pos & 0x7F);
            std::string reply = "CMD:" + cmd + ",RES:OK,";
            if (cmd == "9330" && (pos & 0x80) != 0) {
                if (files[slot].empty()) reply = "CMD:9330,RES:NG,";
                m_offset = 0;
            } else if (cmd == "9330") {
                files[slot].clear();
            } else if (cmd == "9030") {
                const std::string part = files[slot].substr(m_offset, piece);
                m_offset += part.size();
                reply = FormatNarrow("CMD:9030,RES:OK,PALL:%04X,DATA:",
                                     static_cast<unsigned>(files[slot].size()));
                AppendDataField(reply, reinterpret_cast<const std::uint8_t*>(part.data()),
                                part.size());
            } else if (cmd == "9130") {
                const std::string& hex = fields["DATA"];
                for (size_t i = 0; i + 1 < hex.size(); i += 2)
                    files[slot] += static_cast<char>(HexToLong(hex.substr(i, 2)));
            } else if (cmd == "9530") {
                files[slot].clear();
            }
            m_line->incoming.push_back(CompleteFrame(reply));
        }
    }

private:
    std::shared_ptr<FakeLine> m_line;
    size_t m_answered = 0;
    size_t m_offset = 0;
};

class DialogTest : public ::testing::Test {
protected:
    FakePortProvider ports;
    FakeDialogServices services;
    FakeDeviceLister lister;
    DeviceResponder device{ports.line};
    std::unique_ptr<CQuillbankDlg> dlg;

    void SetUp() override {
        CQuillbankDlg::s_bShowRestartReminder = false;
        dlg = std::make_unique<CQuillbankDlg>(ports, services, lister);
        dlg->OnInitDialog();
    }

    void Plug(const QString& name, const QString& location) {
        lister.devices.push_back({name + QStringLiteral(" Port (") + name + QStringLiteral(")"),
                                  name, {QString::fromUtf16(DEVICE_HARDWARE_ID)}, location});
    }
    // One round of the 100 ms timers, the device answering what was sent.
    void Round() {
        dlg->OnTimer(TIMER_RECEIVE);
        dlg->OnTimer(TIMER_ENGINE);
        device.Answer();
        dlg->OnTimer(TIMER_UI_REFRESH);
    }
    // Rounds until the engine reaches `state`; false after `limit` rounds.
    bool RunUntil(int state, int limit = 2000) {
        for (int i = 0; i < limit && dlg->State() != state; ++i) Round();
        return dlg->State() == state;
    }
    // Stops the dialog's own timers: only the ticks the test gives happen, however long it
    // takes.
    void StopTimers() {
        for (const auto& timer : QAbstractEventDispatcher::instance()->registeredTimers(dlg.get()))
            dlg->killTimer(timer.timerId);
    }
    // The window's engine holding the fake port open, without the connect exchange.
    void OpenFakePort() { EngineSetup::AttachPort(*dlg, ports.Open(QStringLiteral("/dev/fake"))); }
    // The engine in `state`, its current slot as it was.
    void Enter(int state) { EngineSetup::PutInState(*dlg, state, dlg->CurrentSlot()); }
    void Connect() {
        Plug(QStringLiteral("ttyACM0"), QStringLiteral("/dev/ttyACM0"));
        dlg->OnTimer(TIMER_DEVICE_SCAN);
        dlg->OnTimer(TIMER_UI_REFRESH);
        dlg->m_btnConnect->click();
        ASSERT_TRUE(RunUntil(STATE_READY));
    }
    QString Cell(int slot) const {
        return dlg->SlotList(SlotListId(slot))->item(SlotRow(slot), 1)->text();
    }
};
