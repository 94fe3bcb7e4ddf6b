#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "app/DialogFonts.h"
#include "app/DialogUnits.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setFont(MainDialogFont());
    const DialogUnits du(font());
    setWindowTitle(QStringLiteral("Quillbank について"));
    setFixedSize(du.Size(170, 62));

    const QRect iconRect = du.Rect(14, 14, 20, 20);
    m_icon = new QLabel(this);
    m_icon->setGeometry(iconRect);
    m_icon->setPixmap(QuillbankIconPixmap(std::min(iconRect.width(), iconRect.height())));

    m_version = new QLabel(QStringLiteral("Quillbank、バージョン 1.0"), this);
    m_version->setTextFormat(Qt::PlainText);
    m_version->setGeometry(du.Rect(42, 14, 114, 8));

    // The second line of the box has no text of its own.
    m_second = new QLabel(this);
    m_second->setTextFormat(Qt::PlainText);
    m_second->setGeometry(du.Rect(42, 26, 114, 8));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du.Rect(113, 41, 50, 14));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
}
