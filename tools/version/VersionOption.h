#pragma once
// --version for the programs: "<program> <version>" on standard output.

// True (after printing) when the whole command line is --version. Checked before any
// application object exists, so a window program answers without a display.
bool AnswerVersionOption(int argc, char** argv, const char* program);
