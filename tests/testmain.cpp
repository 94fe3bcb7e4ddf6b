#include <gtest/gtest.h>

#include <QCoreApplication>

// Tests that touch Qt need an application object; widget tests make their own QApplication.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
