#include <QApplication>

#include "ui/Simulator.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    try {
        createWindows();
        app.exec();
    } catch (const ConversionError& error) {
        ShowException(error);
    }
    return 0;
}
