#include "app/PortCombo.h"

#include <QComboBox>

int SortedInsertIndex(const QStringList& items, const QString& text) {
    int index = 0;
    while (index < items.size() &&
           QString::compare(items.at(index), text, Qt::CaseInsensitive) <= 0)
        ++index;
    return index;
}

namespace {
QStringList ItemTexts(const QComboBox& combo) {
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i) texts.append(combo.itemText(i));
    return texts;
}
}  // namespace

int AddSortedPort(QComboBox& combo, const PortChoice& port) {
    const int index = SortedInsertIndex(ItemTexts(combo), port.name);
    combo.insertItem(index, port.name, port.location);
    return index;
}

bool ComboShowsPorts(const QComboBox& combo, const std::vector<PortChoice>& ports) {
    if (combo.count() != static_cast<int>(ports.size())) return false;
    QStringList names;
    QStringList locations;
    for (const PortChoice& port : ports) {
        const int index = SortedInsertIndex(names, port.name);
        names.insert(index, port.name);
        locations.insert(index, port.location);
    }
    for (int i = 0; i < combo.count(); ++i) {
        if (combo.itemText(i) != names.at(i)) return false;
        if (combo.itemData(i).toString() != locations.at(i)) return false;
    }
    return true;
}
