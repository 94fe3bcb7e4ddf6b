#include "app/QuillbankDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimerEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/AboutDlg.h"
#include "app/AppIcon.h"
#include "app/DialogFonts.h"
#include "app/DialogUnits.h"
#include "app/PortCombo.h"
#include "certs/InformationCell.h"
#include "link/DeviceDiscovery.h"
#include "support/DialogServices.h"
#include "support/Text.h"
#include "support/Trace.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool CQuillbankDlg::s_bShowRestartReminder = true;

namespace {
const char* const kControlIdProperty = "controlId";

QPushButton* MakeButton(QWidget* parent, int id, const char* text, const QRect& rect) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setProperty(kControlIdProperty, id);
    button->setGeometry(rect);
    // No default push button: Enter is the dialog's, or presses the button that has focus.
    button->setAutoDefault(false);
    return button;
}

int FirstSelectedRow(const QTableWidget& list) {
    const QModelIndexList selected = list.selectionModel()->selectedIndexes();
    int row = -1;
    for (const QModelIndex& index : selected)
        if (row < 0 || index.row() < row) row = index.row();
    return row;
}

// Disabling the control that has the focus leaves no control focused, as on the platform
// the lists come from; Qt would hand the focus on, and a list receiving it that way would
// take the target.
void SetControlEnabled(QWidget* control, bool enable) {
    if (!enable && control->window()->focusWidget() == control) control->clearFocus();
    control->setEnabled(enable);
}

bool IsBusyLoading(int state) { return state >= STATE_LOAD_NEXT && state <= STATE_LOAD_AWAIT_CLOSE; }
bool IsReading(int state) { return state >= STATE_READ_SEND_OPEN && state <= STATE_READ_AWAIT_DATA; }
bool IsWriting(int state) { return state >= STATE_WRITE_SEND_OPEN && state <= STATE_WRITE_AWAIT_DATA; }
// A running Read, Write or Remove, which a stray key must not cut off.
bool IsTransferInProgress(int state) {
    return (state >= STATE_REMOVE_SEND && state <= STATE_WRITE_AWAIT_DATA) ||
           state == STATE_SEND_CLOSE || state == STATE_AWAIT_CLOSE;
}
}  // namespace

CQuillbankDlg::CQuillbankDlg(CommPortProvider& ports, DialogServices& services,
                             DeviceLister& lister)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      CSlotEngine(ports, services),
      CSlotCommands(*this, services),
      m_lister(lister) {
    setFont(MainDialogFont());
    const DialogUnits du(font());
    setWindowTitle(QStringLiteral("Quill Bank"));
    setFixedSize(du.Size(320, 272));

    // Controls in tab order.
    m_comboPort = new QComboBox(this);
    m_comboPort->setProperty(kControlIdProperty, IDC_COMBO_PORT);
    m_comboPort->setGeometry(du.Rect(7, 7, 67, 14));
    m_btnConnect = MakeButton(this, IDC_BUTTON_CONNECT, "Connect", du.Rect(78, 7, 50, 14));
    m_btnRead = MakeButton(this, IDC_BUTTON_READ, "Read", du.Rect(7, 28, 50, 14));
    m_btnWrite = MakeButton(this, IDC_BUTTON_WRITE, "Write", du.Rect(60, 28, 50, 14));
    m_listServer = CreateSlotList(IDC_LIST_SERVER);
    m_listServer->setGeometry(du.Rect(7, 48, 306, 44));
    m_listClient = CreateSlotList(IDC_LIST_CLIENT);
    m_listClient->setGeometry(du.Rect(7, 100, 306, 165));
    m_btnRemove = MakeButton(this, IDC_BUTTON_REMOVE, "Remove", du.Rect(263, 28, 50, 14));
    m_btnHelp = MakeButton(this, IDC_BUTTON_HELP, "HELP", du.Rect(263, 7, 50, 14));

    connect(m_btnConnect, &QPushButton::clicked, this, [this] { OnBnClickedConnect(); });
    connect(m_btnWrite, &QPushButton::clicked, this, [this] { OnBnClickedWrite(); });
    connect(m_btnRemove, &QPushButton::clicked, this, [this] { OnBnClickedRemove(); });
    connect(m_btnRead, &QPushButton::clicked, this, [this] { OnBnClickedRead(); });
    connect(m_btnHelp, &QPushButton::clicked, this, [this] { OnBnClickedHelp(); });

    m_hIcon = QuillbankIcon();
}

CQuillbankDlg::~CQuillbankDlg() {
    // The lists' selection signals must not reach a half-destroyed dialog.
    m_listServer->selectionModel()->disconnect(this);
    m_listClient->selectionModel()->disconnect(this);
    m_listServer->removeEventFilter(this);
    m_listClient->removeEventFilter(this);
}

QTableWidget* CQuillbankDlg::CreateSlotList(int listId) {
    auto* list = new QTableWidget(this);
    list->setProperty(kControlIdProperty, listId);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setTabKeyNavigation(false);  // Tab leaves the list, as in a list view
    list->setWordWrap(false);
    list->setCornerButtonEnabled(false);
    list->verticalHeader()->hide();
    list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list->verticalHeader()->setMinimumSectionSize(1);
    list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
    list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->horizontalHeader()->setHighlightSections(false);
    list->horizontalHeader()->setSectionsClickable(false);
    list->horizontalHeader()->setStretchLastSection(false);
    list->setItemDelegate(new SlotListDelegate(
        [this, listId](int row) { return OnListCustomDraw(listId, row); }, list));
    list->installEventFilter(this);
    return list;
}

int CQuillbankDlg::DoModal() {
    OnInitDialog();
    // Modal to its own (absent) parent only: an application-wide modal loop would block the
    // progress window, which has no parent either and must still answer its close box, Enter
    // and Escape.
    setWindowModality(Qt::WindowModal);
    return exec();
}

bool CQuillbankDlg::OnInitDialog() {
    if (m_bInitialised) return true;
    m_bInitialised = true;

    AddAboutCommand();
    setWindowIcon(m_hIcon);

    StartTimer(TIMER_DEVICE_SCAN, TIMER_DEVICE_SCAN_PERIOD_MS);
    StartTimer(TIMER_UI_REFRESH, TIMER_UI_REFRESH_PERIOD_MS);
    StartTimer(TIMER_ENGINE, TIMER_ENGINE_PERIOD_MS);
    // Were the receive ticks to fall together with the engine ticks, an answer would wait a
    // whole extra period: three ticks an exchange instead of two. A one-shot timer of the
    // dialog's own, started with the engine timer, starts the receive timer half a period on.
    m_receiveStartId = startTimer(TIMER_RECEIVE_PHASE_MS, Qt::PreciseTimer);

    ResetEngineMembers();
    m_progress.OnInitDialog();  // stays hidden until a transfer runs
    InitSlotLists();
    // The controls look as the first refresh will leave them before the window first shows.
    UpdateControlEnabling();
    return true;
}

void CQuillbankDlg::StartTimer(int id, int periodMs) {
    // Precise: a coarse timer drifts towards whole multiples of its period and would bring
    // the receive ticks back onto the engine ticks.
    const int qtId = startTimer(periodMs, Qt::PreciseTimer);
    if (qtId != 0) m_timerIds[qtId] = id;
}

void CQuillbankDlg::AddAboutCommand() {
    const QString label = QString::fromUtf16(IDS_ABOUTBOX);
    if (label.isEmpty()) return;
#ifdef Q_OS_WIN
    // Only the Windows platform has a system menu; another one (offscreen) has no HWND.
    HMENU menu = QGuiApplication::platformName() == QLatin1String("windows")
                     ? GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE)
                     : nullptr;
    if (menu != nullptr) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, reinterpret_cast<LPCWSTR>(label.utf16()));
        return;
    }
#endif
    // Elsewhere the window menu belongs to the window manager: the command goes into the
    // dialog's context menu instead.
    m_aboutAction = new QAction(label, this);
    connect(m_aboutAction, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    addAction(m_aboutAction);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

#ifdef Q_OS_WIN
bool CQuillbankDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(IDM_ABOUTBOX);
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif

void CQuillbankDlg::OnSysCommand(int nID) {
    if ((nID & 0xFFF0) != IDM_ABOUTBOX) return;
    CAboutDlg about(this);
    about.setWindowIcon(m_hIcon);
    about.exec();
}

void CQuillbankDlg::OnOK() { QDialog::accept(); }

void CQuillbankDlg::OnCancel() { QDialog::reject(); }

bool CQuillbankDlg::OnClose() {
    // Ending in the middle of a Read, Write or Remove leaves a slot half-written on the device
    // or a local file cut short.
    if (IsTransferInProgress(State())) {
        // The progress window is brought up first, as the state wants it: the box opens over
        // it then, and it cannot come back later on top of the box.
        UpdateControlStates();
        // The timers go on inside the box. A transfer that ends meanwhile takes the question
        // down, and the request to close then needs no confirmation; Cancel keeps the window.
        const int answer =
            m_services.ShowMessageBoxWhile(QString::fromUtf16(CLOSE_DURING_TRANSFER_TEXT),
                                           QString(), MsgBox::OkCancel | MsgBox::IconExclamation,
                                           [this] { return IsTransferInProgress(State()); });
        if (answer == MsgBox::IdCancel) return false;
    }
    ReleaseSlotBuffers();
    return true;
}

void CQuillbankDlg::closeEvent(QCloseEvent* event) {
    if (!OnClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CQuillbankDlg::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier) {
        // A key that would end the dialog does nothing while a transfer runs: ending then
        // would leave a slot half-written or a local file cut short.
        const bool keepOpen = IsTransferInProgress(State());
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            // Enter presses the button that has the focus; anywhere else it ends the dialog.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
                if (button->isEnabled()) button->click();
                return;
            }
            if (!keepOpen) OnOK();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            if (!keepOpen) OnCancel();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CQuillbankDlg::timerEvent(QTimerEvent* event) {
    if (m_receiveStartId != 0 && event->timerId() == m_receiveStartId) {
        killTimer(m_receiveStartId);
        m_receiveStartId = 0;
        StartTimer(TIMER_RECEIVE, TIMER_RECEIVE_PERIOD_MS);
        return;
    }
    const auto found = m_timerIds.find(event->timerId());
    if (found == m_timerIds.end()) {
        QDialog::timerEvent(event);
        return;
    }
    const int id = found->second;
    bool& queued = m_tickQueued[static_cast<size_t>(id - TIMER_DEVICE_SCAN)];
    // A tick that is still waiting absorbs the next one, like coalesced timer messages.
    if (queued) return;
    queued = true;
    // Qt holds back a timer's events while its own handler runs. The tick is handled from
    // the event queue instead, so a box shown by a handler sees every timer go on ticking,
    // the same one included.
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            m_tickQueued[static_cast<size_t>(id - TIMER_DEVICE_SCAN)] = false;
            OnTimer(id);
        },
        Qt::QueuedConnection);
}

void CQuillbankDlg::OnTimer(int nIDEvent) {
    if (s_bShowRestartReminder) {
        // Cleared first: ticks inside the box must not show it again.
        s_bShowRestartReminder = false;
        m_services.ShowMessageBox(QString::fromUtf16(RESTART_REMINDER_TEXT),
                                  QStringLiteral("Message"),
                                  MsgBox::Ok | MsgBox::IconExclamation);
    }
    switch (nIDEvent) {
        case TIMER_DEVICE_SCAN: UpdatePortCombo(); break;
        case TIMER_UI_REFRESH: UpdateControlStates(); break;
        case TIMER_ENGINE: StepEngine(); break;
        case TIMER_RECEIVE: ReceiveFromPort(); break;
        default: break;
    }
}

void CQuillbankDlg::UpdatePortCombo() {
    std::vector<ComDeviceInfo> devices;
    m_lister.EnumerateComDevices(devices);  // on failure the list is empty
    const std::vector<PortChoice> ports = MatchingPorts(devices);

    // Rebuilt only when the ports themselves change, so a steady set keeps the selection.
    if (!ComboShowsPorts(*m_comboPort, ports)) {
        m_comboPort->clear();
        for (const PortChoice& port : ports)
            m_comboPort->setCurrentIndex(AddSortedPort(*m_comboPort, port));
    }
    SetControlEnabled(m_comboPort, !ports.empty());
}

PortChoice CQuillbankDlg::SelectedPort() const {
    const int index = m_comboPort->currentIndex();
    if (index < 0) return {};
    return {m_comboPort->itemText(index), m_comboPort->itemData(index).toString()};
}

void CQuillbankDlg::UpdateControlEnabling() {
    SetControlEnabled(m_btnConnect, m_comboPort->count() > 0);
    const bool open = IsPortOpen();
    m_btnConnect->setText(open ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    for (QWidget* control : std::initializer_list<QWidget*>{m_btnRead, m_btnWrite, m_btnRemove,
                                                           m_listServer, m_listClient})
        SetControlEnabled(control, open);
}

void CQuillbankDlg::UpdateControlStates() {
    UpdateControlEnabling();

    // Position from a local stream: bytes moved so far of the transfer's total.
    auto showStream = [this](const TransferProgressView& progress) {
        if (progress.measured) {
            m_progress.m_nPos = static_cast<int>(progress.done);
            m_progress.m_nRange = static_cast<int>(progress.total);
            if (m_progress.m_nPos == 0) m_progress.SetBar(m_progress.m_nRange, 0);
        } else {
            m_progress.m_nPos = 0;
            m_progress.m_nRange = 0;
            m_progress.SetBar(0, 0);
        }
    };

    const TransferProgressView progress = TransferProgress();
    if (IsBusyLoading(State())) {
        const double value = progress.done;
        OutputDebugText(FormatWide("read=%f\r\n", value));
        m_progress.m_nRange = static_cast<int>(progress.total);
        m_progress.m_nPos = static_cast<int>(value);
        if (m_progress.m_nPos == 0) m_progress.SetBar(m_progress.m_nRange, 0);
        m_progress.show();
    } else if (IsWriting(State())) {
        showStream(progress);
        m_progress.show();
    } else if (IsReading(State())) {
        m_progress.show();
        showStream(progress);
    } else {
        m_progress.m_nPos = 0;
        m_progress.m_nRange = 100;
        m_progress.SetBar(100, 0);
        m_progress.hide();
        return;
    }

    // Taken after showing: before its first show the window has no frame to measure.
    const QRect main = frameGeometry();
    const QRect bar = m_progress.frameGeometry();
    m_progress.move(main.left() + (main.width() >> 1) - (bar.width() >> 1),
                    main.top() + (main.height() >> 1) - (bar.height() >> 1));
    m_progress.raise();
}

void CQuillbankDlg::InitSlotLists() {
    struct Setup {
        QTableWidget* list;
        const char* title;
    };
    for (const Setup& setup : {Setup{m_listServer, "Server"}, Setup{m_listClient, "Client"}}) {
        setup.list->clear();
        setup.list->setColumnCount(2);
        setup.list->setHorizontalHeaderLabels(
            {QString::fromLatin1(setup.title), QStringLiteral("Information")});
        setup.list->setColumnWidth(0, SLOT_LIST_LABEL_WIDTH);
        setup.list->setColumnWidth(1, SLOT_LIST_INFORMATION_WIDTH);
        setup.list->setRowCount(0);
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        QTableWidget* list = SlotList(SlotListId(slot));
        const int row = list->rowCount();
        list->insertRow(row);
        for (int column = 0; column < 2; ++column) {
            auto* item = new QTableWidgetItem(column == 0 ? SlotLabel(slot) : QString());
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            list->setItem(row, column, item);
        }
    }
    for (QTableWidget* list : {m_listServer, m_listClient}) {
        const int listId = list->property(kControlIdProperty).toInt();
        QItemSelectionModel* selection = list->selectionModel();
        selection->disconnect(this);
        connect(selection, &QItemSelectionModel::selectionChanged, this,
                [this, listId] { OnListItemChanged(listId); });
        connect(selection, &QItemSelectionModel::currentChanged, this,
                [this, listId] { OnListItemChanged(listId); });
    }

    m_nTargetListId = 0;
    m_nTargetRow = -1;
    CloseLocalFiles();
}

void CQuillbankDlg::OnSaveFailed(const QString& reason) {
    m_services.ShowMessageBox(QStringLiteral("The file could not be saved.\n%1").arg(reason),
                              QString(), MsgBox::Ok | MsgBox::IconError);
}

void CQuillbankDlg::RefreshSlotLists() {
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        QTableWidgetItem* cell = SlotList(SlotListId(slot))->item(SlotRow(slot), 1);
        if (cell != nullptr) cell->setText(InformationCellText(*this, slot));
    }
}

void CQuillbankDlg::OnListItemChanged(int listId) {
    QTableWidget* list = SlotList(listId);
    if (list == nullptr) return;
    m_nTargetListId = listId;
    m_nTargetRow = FirstSelectedRow(*list);
    // The highlight follows the target, which may have left the other list.
    m_listServer->viewport()->update();
    m_listClient->viewport()->update();
}

void CQuillbankDlg::OnListSetFocus(int listId) {
    OnListItemChanged(listId);
    for (QTableWidget* list : {m_listServer, m_listClient}) list->viewport()->repaint();
}

SlotCellColours CQuillbankDlg::OnListCustomDraw(int listId, int row) const {
    const bool isTarget = listId == m_nTargetListId && row == m_nTargetRow;
    const QTableWidget* list = SlotList(listId);
    return SlotCellColoursFor(isTarget, list != nullptr && list->isEnabled());
}

bool CQuillbankDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_listServer) OnListSetFocus(IDC_LIST_SERVER);
        if (watched == m_listClient) OnListSetFocus(IDC_LIST_CLIENT);
    }
    return QDialog::eventFilter(watched, event);
}

QTableWidget* CQuillbankDlg::SlotList(int listId) const {
    if (listId == IDC_LIST_SERVER) return m_listServer;
    if (listId == IDC_LIST_CLIENT) return m_listClient;
    return nullptr;
}

QWidget* CQuillbankDlg::GetDlgItem(int id) const {
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_comboPort, m_btnConnect, m_btnRead, m_btnWrite, m_btnRemove, m_listServer,
             m_listClient, m_btnHelp})
        if (control->property(kControlIdProperty).toInt() == id) return control;
    return nullptr;
}
