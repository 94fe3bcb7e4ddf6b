#pragma once
// The main window: the port list, the Connect/Read/Write/Remove/HELP buttons and the two
// slot lists over the slot engine, driven by four periodic timers.

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>
#include <map>

#include "app/ProgressWindow.h"
#include "app/SlotListView.h"
#include "certs/SlotCommands.h"
#include "engine/SlotEngine.h"

class DeviceLister;
class QAction;
class QComboBox;
class QPushButton;
class QTableWidget;

// Control ids.
inline constexpr int IDC_COMBO_PORT = 1000;
inline constexpr int IDC_BUTTON_CONNECT = 1001;
inline constexpr int IDC_BUTTON_READ = 1002;
inline constexpr int IDC_BUTTON_WRITE = 1003;
inline constexpr int IDC_BUTTON_REMOVE = 1006;
inline constexpr int IDC_BUTTON_HELP = 1007;

// Timers of the main dialog and their periods.
inline constexpr int TIMER_DEVICE_SCAN = 100;
inline constexpr int TIMER_UI_REFRESH = 101;
inline constexpr int TIMER_ENGINE = 102;
inline constexpr int TIMER_RECEIVE = 103;
inline constexpr int TIMER_DEVICE_SCAN_PERIOD_MS = 1000;
inline constexpr int TIMER_UI_REFRESH_PERIOD_MS = 100;
inline constexpr int TIMER_ENGINE_PERIOD_MS = 100;
inline constexpr int TIMER_RECEIVE_PERIOD_MS = 100;
// The receive timer runs this long after the engine timer, so that the answer to what an
// engine tick sent is stored by the time the next engine tick looks for it.
inline constexpr int TIMER_RECEIVE_PHASE_MS = TIMER_ENGINE_PERIOD_MS / 2;

// The About command and its label.
inline constexpr int IDM_ABOUTBOX = 0x0010;
inline constexpr char16_t IDS_ABOUTBOX[] = u"Quillbankについて(&A)...";

inline constexpr char16_t RESTART_REMINDER_TEXT[] =
    u"If you write or delete a file, be sure to restart the target Tolvane.";
inline constexpr char16_t CLOSE_DURING_TRANSFER_TEXT[] =
    u"A transfer with the device is in progress. Close anyway?";

class CQuillbankDlg : public QDialog, public CSlotEngine, public CSlotCommands {
    Q_OBJECT
public:
    // `lister` lists the present serial devices; all three outlive the dialog.
    CQuillbankDlg(CommPortProvider& ports, DialogServices& services, DeviceLister& lister);
    ~CQuillbankDlg() override;

    // Initialises once (OnInitDialog) and runs the dialog modally.
    int DoModal();
    // Window initialisation: About command, icon, the four timers, engine members, the
    // hidden progress window, the slot lists. Runs once; later calls do nothing.
    bool OnInitDialog();

    // One tick of timer `nIDEvent` (100-103); the restart reminder comes first, once.
    virtual void OnTimer(int nIDEvent);
    // Timer work.
    void UpdatePortCombo();
    void UpdateControlStates();
    // The part of the refresh that follows the port: what is enabled, the Connect caption.
    void UpdateControlEnabling();

    // Slot lists.
    void InitSlotLists();
    void RefreshSlotLists() override;
    void OnListItemChanged(int listId);
    void OnListSetFocus(int listId);
    // Colours of a cell of `row` in list `listId`.
    SlotCellColours OnListCustomDraw(int listId, int row) const;

    PortChoice SelectedPort() const override;
    // A Read whose file could not be saved says so: no file is there, the user must know.
    void OnSaveFailed(const QString& reason) override;

    // IDM_ABOUTBOX opens the About box; other commands are the platform's.
    void OnSysCommand(int nID);
    void OnOK();
    void OnCancel();
    // The close box: while a transfer runs, asks first (a transfer ending meanwhile takes the
    // question down and lets the window close). Releases the slot buffers and returns true
    // when the dialog is to end (as with Cancel).
    bool OnClose();

    // The control with the given id, or null.
    QWidget* GetDlgItem(int id) const;
    QTableWidget* SlotList(int listId) const;
    QAction* AboutAction() const { return m_aboutAction; }

    // Shown on the first timer tick of the process, never again.
    static bool s_bShowRestartReminder;

    QIcon m_hIcon;
    CProgressWindow m_progress;
    QComboBox* m_comboPort;
    QPushButton* m_btnConnect;
    QPushButton* m_btnRead;
    QPushButton* m_btnWrite;
    QPushButton* m_btnRemove;
    QTableWidget* m_listServer;
    QTableWidget* m_listClient;
    QPushButton* m_btnHelp;

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    QTableWidget* CreateSlotList(int listId);
    void AddAboutCommand();
    void StartTimer(int id, int periodMs);

    DeviceLister& m_lister;
    QAction* m_aboutAction = nullptr;
    bool m_bInitialised = false;
    std::map<int, int> m_timerIds;  // Qt timer id -> TIMER_*
    int m_receiveStartId = 0;       // the one-shot that starts TIMER_RECEIVE, while it runs
    std::array<bool, 4> m_tickQueued{};
};
