// quillbank: the tool's one window over the system's serial ports.

#include <QApplication>

#include "app/QuillbankApp.h"
#include "link/QtDeviceLister.h"
#include "link/TermiosPort.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    TermiosPortProvider ports;
    QtDeviceLister lister;
    CQuillbankApp theApp(ports, lister);
    theApp.InitInstance();
    return 0;
}
