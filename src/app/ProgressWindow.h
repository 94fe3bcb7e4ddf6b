#pragma once
// The small window that floats over the main dialog while a transfer runs. The main
// dialog writes m_nPos and m_nRange; the window's own 100 ms timer copies them into the bar.

#include <QDialog>

#include "app/ProgressCtrl.h"

class QLabel;

class CProgressWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_PROGRESS = 1007;
    static constexpr int TIMER_PROGRESS = 100;
    static constexpr int TIMER_PROGRESS_PERIOD_MS = 100;

    CProgressWindow();

    // Starts the window's own timer; call once when the window is created.
    bool OnInitDialog();
    // Copies the members into the bar (any timer id).
    void OnTimer(int nIDEvent);

    // Sets the bar at once: range 0 to the low 16 bits of `range`, position `pos`.
    void SetBar(int range, int pos);

    int m_nPos = 0;
    int m_nRange = 0;
    CProgressCtrl* m_progressCtrl;

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_text;
    int m_timerId = 0;
};
