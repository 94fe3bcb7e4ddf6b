#pragma once
// The text of a slot's Information cell: the certificate summary, else "File Size : %dBytes"
// when the slot holds data, else empty.

#include <QString>

class CSlotEngine;

QString InformationCellText(const CSlotEngine& engine, int slot);
