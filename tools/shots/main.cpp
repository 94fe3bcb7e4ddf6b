// quillbank-shots: renders the window to PNG files for documentation and review, against the
// built-in simulated device: main.png (connected, lists filled, a target selected),
// progress.png (the progress window over the window during the slot load) and about.png.
// Usage: quillbank-shots [FOLDER] (default: the current folder; created with its parents), or
// --version. Needs no display.

#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <cstdio>

#include "DeviceSimulator.h"
#include "SimulatedPort.h"
#include "VersionOption.h"
#include "app/AboutDlg.h"
#include "app/QtDialogServices.h"
#include "app/QuillbankDlg.h"
#include "link/TermiosPort.h"
#include "support/Folders.h"
#include "support/SafeFile.h"
#include "support/Trace.h"

namespace {
// The offscreen platform says so for every window raise, and Qt notes a missing runtime
// folder (usual outside a desktop session); neither is worth printing.
QtMessageHandler g_standardHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (g_standardHandler != nullptr) g_standardHandler(type, context, message);
}

bool Save(const QImage& image, const QDir& folder, const char* name) {
    const QString path = folder.filePath(QString::fromLatin1(name));
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        std::fprintf(stderr, "quillbank-shots: cannot write %s: the image cannot be encoded\n",
                     qPrintable(path));
        return false;
    }
    SafeFile file;
    if (!file.Begin(path, FileAccess::Usual) ||
        !file.Write(png.constData(), static_cast<std::size_t>(png.size())) || !file.Commit()) {
        std::fprintf(stderr, "quillbank-shots: cannot write %s\n", qPrintable(file.Error()));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// One round of the window's 100 ms work with the device answering in between, without
// waiting for real timer periods.
void Round(CQuillbankDlg& dlg, DeviceSimulator& device) {
    dlg.OnTimer(TIMER_ENGINE);
    for (int i = 0; i < 5; ++i) {
        ::usleep(2000);
        device.Poll();
    }
    ::usleep(2000);
    dlg.OnTimer(TIMER_RECEIVE);
    dlg.OnTimer(TIMER_UI_REFRESH);
}
}  // namespace

int main(int argc, char** argv) {
    if (AnswerVersionOption(argc, argv, "quillbank-shots")) return 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    g_standardHandler = qInstallMessageHandler(QuietHandler);
    QApplication application(argc, argv);
    const QString folderPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QString reason;
    if (!MakeFolders(folderPath, reason)) {
        std::fprintf(stderr, "quillbank-shots: cannot create %s: %s\n", qPrintable(folderPath),
                     qPrintable(reason));
        return 1;
    }
    const QDir folder(folderPath);
    SetStandardOutputSink([](const QString&) {});
    SetDebugOutputSink([](const QString&) {});

    SimOptions options;
    options.content = SimOptions::Content::Sample;
    options.pieceSize = 256;  // several reads per slot, so the load has a middle to show
    DeviceSimulator device(options);
    if (!device.Open()) {
        std::fprintf(stderr, "quillbank-shots: %s\n", qPrintable(device.LastError()));
        return 1;
    }
    TermiosPortProvider ports;
    ListedPortLister lister(device.PortPath());
    QtDialogServices services;
    CQuillbankDlg::s_bShowRestartReminder = false;  // a picture, not a session
    CQuillbankDlg dlg(ports, services, lister);
    services.SetOwner(&dlg);
    dlg.OnInitDialog();
    dlg.show();

    dlg.OnTimer(TIMER_DEVICE_SCAN);
    dlg.OnTimer(TIMER_UI_REFRESH);
    dlg.m_btnConnect->click();
    QImage progress;
    for (int i = 0; i < 2000 && dlg.State() != STATE_READY; ++i) {
        Round(dlg, device);
        // Mid-load: the third slot half read.
        if (progress.isNull() && dlg.CurrentSlot() == 2 && dlg.State() == STATE_LOAD_SEND_DATA &&
            dlg.SlotSize(2) > 0) {
            dlg.m_progress.OnTimer(CProgressWindow::TIMER_PROGRESS);
            progress = dlg.grab().toImage();
            QPainter painter(&progress);
            const QPoint offset = dlg.m_progress.frameGeometry().topLeft() - dlg.geometry().topLeft();
            painter.drawImage(offset, dlg.m_progress.grab().toImage());
        }
    }
    if (dlg.State() != STATE_READY) {
        std::fprintf(stderr, "quillbank-shots: the slot load did not finish\n");
        return 1;
    }
    dlg.m_listClient->selectRow(1);
    dlg.OnTimer(TIMER_UI_REFRESH);

    bool ok = Save(dlg.grab().toImage(), folder, "main.png");
    ok = !progress.isNull() && Save(progress, folder, "progress.png") && ok;

    CAboutDlg about(&dlg);
    about.show();
    ok = Save(about.grab().toImage(), folder, "about.png") && ok;
    about.hide();
    return ok ? 0 : 1;
}
