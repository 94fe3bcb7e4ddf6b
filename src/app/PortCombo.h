#pragma once
// The port list as a sorted drop-down list: Qt's combo box keeps insertion order, so items
// are inserted where a sorted list would put them (case-insensitive, equal names after the
// ones already there), and each item carries the port's location as item data.

#include <QString>
#include <QStringList>
#include <vector>

#include "link/CommPort.h"

class QComboBox;

// Index at which a sorted list holding `items` would place `text`.
int SortedInsertIndex(const QStringList& items, const QString& text);

// Adds the port at its sorted place with its location as item data; returns that index.
int AddSortedPort(QComboBox& combo, const PortChoice& port);

// True when the combo box holds exactly what adding `ports` to an empty box would give:
// the same names in the same sorted order with the same locations.
bool ComboShowsPorts(const QComboBox& combo, const std::vector<PortChoice>& ports);
