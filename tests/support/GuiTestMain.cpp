#include <QApplication>

#include <gtest/gtest.h>

// GUI tests share one application object, as the program does.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Ixo Loader");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
