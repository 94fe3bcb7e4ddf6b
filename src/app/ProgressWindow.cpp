#include "app/ProgressWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimerEvent>
#include <algorithm>

#include "app/DialogFonts.h"
#include "app/DialogUnits.h"

CProgressWindow::CProgressWindow()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    setFont(ProgressWindowFont());
    const DialogUnits du(font());
    setWindowTitle(QStringLiteral("Quill Bank"));
    setFixedSize(du.Size(203, 38));
    // Showing it must not take the keyboard away from the main dialog.
    setAttribute(Qt::WA_ShowWithoutActivating);

    m_text = new QLabel(QStringLiteral("Processing..."), this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setGeometry(du.Rect(7, 7, 43, 8));

    m_progressCtrl = new CProgressCtrl(this);
    m_progressCtrl->setGeometry(du.Rect(7, 17, 189, 14));
    m_progressCtrl->setTextVisible(false);
    m_progressCtrl->setRange(0, 100);
    m_progressCtrl->setValue(0);
}

bool CProgressWindow::OnInitDialog() {
    if (m_timerId == 0) m_timerId = startTimer(TIMER_PROGRESS_PERIOD_MS);
    return true;
}

void CProgressWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timerId)
        OnTimer(TIMER_PROGRESS);
    else
        QDialog::timerEvent(event);
}

void CProgressWindow::keyPressEvent(QKeyEvent* event) {
    // Enter ends the window as a dialog (it only hides) although it has no default button;
    // Escape already does so through QDialog.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CProgressWindow::OnTimer(int /*nIDEvent*/) { SetBar(m_nRange, m_nPos); }

void CProgressWindow::SetBar(int range, int pos) {
    // The bar's upper end is a 16-bit value; a position outside the range is pinned to it
    // (Qt would ignore it instead).
    const int upper = range & 0xFFFF;
    m_progressCtrl->setRange(0, upper);
    m_progressCtrl->setValue(std::clamp(pos, 0, upper));
}
