#pragma once
// The application's icon, drawn here: a white quill over a blue tile with a gold card slot.

#include <QIcon>
#include <QPixmap>

QPixmap QuillbankIconPixmap(int size);
QIcon QuillbankIcon();
