#pragma once
// The progress window's bar. A range of 0 to 0 shows an empty bar, as the platform's bar
// does; Qt would show its animated "busy" indicator instead.

#include <QProgressBar>

class CProgressCtrl : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent* event) override;
};
