#include <gtest/gtest.h>

#include <QApplication>

#include "support/Trace.h"

// Widget tests need a QApplication; the presets run them on the offscreen platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The engine's trace lines are not what these tests look at; tests that do capture them.
    SetStandardOutputSink([](const QString&) {});
    SetDebugOutputSink([](const QString&) {});
    return RUN_ALL_TESTS();
}
