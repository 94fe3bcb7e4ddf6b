// quillbank: the tool's one window over the system's serial ports. Its only option is
// --version, answered before the window system is touched.

#include <QApplication>

#include "VersionOption.h"
#include "app/QuillbankApp.h"
#include "link/PlatformLink.h"

int main(int argc, char** argv) {
    if (AnswerVersionOption(argc, argv, "quillbank")) return 0;
    QApplication application(argc, argv);
    PlatformPortProvider ports;
    PlatformDeviceLister lister;
    CQuillbankApp theApp(ports, lister);
    theApp.InitInstance();
    return 0;
}
