#include "app/QuillbankApp.h"

#include <QApplication>

#include "app/AppIcon.h"
#include "app/QtDialogServices.h"
#include "app/QuillbankDlg.h"

CQuillbankApp::CQuillbankApp(CommPortProvider& ports, DeviceLister& lister)
    : m_ports(ports), m_lister(lister) {}

bool CQuillbankApp::InitInstance() {
    QApplication::setWindowIcon(QuillbankIcon());
    QtDialogServices services;
    CQuillbankDlg dlg(m_ports, services, m_lister);
    services.SetOwner(&dlg, &dlg.m_progress);
    dlg.DoModal();  // the result is not needed
    return false;
}
