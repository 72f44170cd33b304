#include <QApplication>

#include "ui/Simulator.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    createWindows();
    return app.exec();
}
