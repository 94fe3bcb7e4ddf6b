#pragma once
// The Open button of Qt's own file dialog for a name typed into its name box.

class QFileDialog;

// Qt's own open dialog enables Open only for a file that the selected filter entry shows,
// while Enter accepts any existing file typed into the name box (a ".der" typed under
// "*.crt"). From this call on, typing such a name gives the button back, so that both take
// the same names. A native dialog, which has no such widgets, is left as it is.
void LetOpenTakeTypedFiles(QFileDialog& dialog);
