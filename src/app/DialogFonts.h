#pragma once
// The faces of the windows. Each window names a Windows face first; where that face is not
// installed the first installed face of a list of look-alikes stands in, chosen so that text
// and the dialog-unit geometry come out close to the original windows.

#include <QFont>

// The main dialog and the About box: "MS UI Gothic" 9 pt, else a proportional Japanese
// Gothic. A fixed-pitch face is never taken: Latin text would be too wide and a dot would
// read like a comma.
QFont MainDialogFont();
// The progress window: "MS Shell Dlg" 8 pt, else the face it maps to on Windows or a face
// with the same metrics.
QFont ProgressWindowFont();
