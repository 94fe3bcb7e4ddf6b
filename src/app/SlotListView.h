#pragma once
// Painting of the two slot lists: each cell is drawn in the colours the dialog chooses for
// its row, so the current target stays highlighted without focus and the view's own
// selection highlight is never shown. An Information cell, which the column's edge may cut,
// shows its whole text when the pointer rests on it.

#include <QColor>
#include <QStyledItemDelegate>
#include <functional>

struct SlotCellColours {
    QColor text;
    QColor background;
};

// Target row: white on (0, 120, 215), also in a disabled list. Other rows: black on white,
// or black on (240, 240, 240) in a disabled list.
SlotCellColours SlotCellColoursFor(bool isTarget, bool listEnabled);

// Column widths in pixels.
inline constexpr int SLOT_LIST_LABEL_WIDTH = 120;
inline constexpr int SLOT_LIST_INFORMATION_WIDTH = 400;
inline constexpr int SLOT_LIST_INFORMATION_COLUMN = 1;

// A tooltip that shows `text` as it stands: one line, blanks kept, markup shown as text.
QString WholeTextToolTip(const QString& text);

class SlotListDelegate : public QStyledItemDelegate {
public:
    using ColourSource = std::function<SlotCellColours(int row)>;

    SlotListDelegate(ColourSource colours, QObject* parent)
        : QStyledItemDelegate(parent), m_colours(std::move(colours)) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // Tooltip of an Information cell: its whole text.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    ColourSource m_colours;
};
