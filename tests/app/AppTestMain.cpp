#include <gtest/gtest.h>

#include <QApplication>

// Widget tests need a QApplication; the presets run them on the offscreen platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
