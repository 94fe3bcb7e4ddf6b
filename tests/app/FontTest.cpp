#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include "QtPrinters.h"
#include "app/AboutDlg.h"
#include "app/QuillbankDlg.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDeviceLister.h"
#include "fakes/FakeDialogServices.h"

// Every window takes a proportional face with metrics close to its Windows face. The faces
// and sizes are those measured at 96 dpi with the fonts scripts/install-deps.sh installs; the
// progress window comes out at the size its Windows face gives it.
TEST(DialogFonts, WindowsTakeProportionalFacesAndComeOutAtTheirMeasuredSizes) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    FakePortProvider ports;
    FakeDialogServices services;
    FakeDeviceLister lister;
    CQuillbankDlg dlg(ports, services, lister);
    CAboutDlg about;
    struct Row {
        const char* window;
        const QWidget* widget;
        const char* family;
        QSize size;
    };
    const Row rows[] = {
        {"main", &dlg, "IPAPGothic", {560, 442}},
        {"about", &about, "IPAPGothic", {298, 101}},
        {"progress", &dlg.m_progress, "MS Sans Serif", {305, 62}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(QFontInfo(row.widget->font()).family(), QString::fromLatin1(row.family))
            << row.window;
        const QFontMetrics metrics(row.widget->font());
        EXPECT_LT(metrics.horizontalAdvance(QLatin1Char('.')),
                  metrics.horizontalAdvance(QLatin1Char('W')))
            << row.window << ": fixed-pitch Latin";
        EXPECT_EQ(row.widget->size(), row.size) << row.window;
    }
}
