#include <QApplication>

#include <gtest/gtest.h>

// GUI tests share one application object, as the program does.
int main(int argc, char** argv) {
    // CTest lists the tests before it runs them, without the test environment:
    // listing must not need a display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Ixo Loader");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
