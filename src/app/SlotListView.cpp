#include "app/SlotListView.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

SlotCellColours SlotCellColoursFor(bool isTarget, bool listEnabled) {
    if (isTarget) return {QColor(255, 255, 255), QColor(0, 120, 215)};
    if (!listEnabled) return {QColor(0, 0, 0), QColor(240, 240, 240)};
    return {QColor(0, 0, 0), QColor(255, 255, 255)};
}

void SlotListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const SlotCellColours colours = m_colours(index.row());
    painter->save();
    painter->fillRect(option.rect, colours.background);
    const int margin = option.fontMetrics.horizontalAdvance(QLatin1Char(' '));
    const QRect textRect = option.rect.adjusted(margin, 0, -margin, 0);
    const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                       Qt::ElideRight, textRect.width());
    painter->setFont(option.font);
    painter->setPen(colours.text);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

QString WholeTextToolTip(const QString& text) {
    return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

bool SlotListDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip ||
        index.column() != SLOT_LIST_INFORMATION_COLUMN)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(event->globalPos(), WholeTextToolTip(text), view->viewport(),
                           option.rect);
    }
    return true;
}
