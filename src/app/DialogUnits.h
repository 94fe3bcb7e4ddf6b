#pragma once
// Dialog-unit geometry: positions and sizes given in dialog units become pixels through the
// dialog's font, horizontally a quarter of the average character width and vertically an
// eighth of the character height.

#include <QFont>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int m_baseWidth;   // average character width, pixels
    int m_baseHeight;  // character height, pixels
};
