#include "app/DialogUnits.h"

#include <QFontMetrics>
#include <algorithm>

namespace {
// Rounded a * b / c, like the platform's MulDiv.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the Latin letters, rounded, as the platform measures a dialog font.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseWidth = std::max(1, (letters / 26 + 1) / 2);
    m_baseHeight = std::max(1, metrics.height());
}

int DialogUnits::X(int units) const { return MulDiv(units, m_baseWidth, 4); }

int DialogUnits::Y(int units) const { return MulDiv(units, m_baseHeight, 8); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    // Edges are converted, not sizes, so neighbouring controls keep their gaps.
    return QRect(QPoint(X(x), Y(y)), QPoint(X(x + width) - 1, Y(y + height) - 1));
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }
