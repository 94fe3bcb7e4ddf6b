#pragma once
// The About box: icon, name and version, OK.

#include <QDialog>

class QLabel;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* IconLabel() const { return m_icon; }
    QLabel* VersionLabel() const { return m_version; }
    QLabel* SecondLabel() const { return m_second; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QLabel* m_icon;
    QLabel* m_version;
    QLabel* m_second;
    QPushButton* m_ok;
};
