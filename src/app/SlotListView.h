#pragma once
// Painting of the two slot lists: each cell is drawn in the colours the dialog chooses for
// its row, so the current target stays highlighted without focus and the view's own
// selection highlight is never shown.

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

class SlotListDelegate : public QStyledItemDelegate {
public:
    using ColourSource = std::function<SlotCellColours(int row)>;

    SlotListDelegate(ColourSource colours, QObject* parent)
        : QStyledItemDelegate(parent), m_colours(std::move(colours)) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    ColourSource m_colours;
};
