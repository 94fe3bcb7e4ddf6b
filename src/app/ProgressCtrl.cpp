#include "app/ProgressCtrl.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

void CProgressCtrl::paintEvent(QPaintEvent* event) {
    if (minimum() != maximum()) {
        QProgressBar::paintEvent(event);
        return;
    }
    // Drawn as nothing done of a real range, so the style starts no busy animation.
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.minimum = 0;
    option.maximum = 1;
    option.progress = 0;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}
