#pragma once
// The text of a slot's Information cell: the certificate summary, else "File Size : %dBytes"
// when the slot holds data, else empty. The text is not cut to any cell width.

#include <QString>

class CSlotEngine;
struct FileSlot;

QString InformationCellText(const CSlotEngine& engine, int slot);

// The same for a slot record that no engine holds (a local file seen as a slot copy).
QString InformationCellText(const FileSlot& slot);
