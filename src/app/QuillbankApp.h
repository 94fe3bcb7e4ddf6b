#pragma once
// The application object: runs the main dialog modally and ends the program when it closes.

class CommPortProvider;
class DeviceLister;
class CQuillbankDlg;

class CQuillbankApp {
public:
    // `ports` opens serial ports and `lister` lists the present devices; both outlive the
    // application object. A QApplication must exist.
    CQuillbankApp(CommPortProvider& ports, DeviceLister& lister);

    // The whole life of the program: builds the dialog, runs it modally and tears it down.
    // Returns false: there is no further message loop to run.
    bool InitInstance();

private:
    CommPortProvider& m_ports;
    DeviceLister& m_lister;
};
