#include <QApplication>
#include <QCommandLineParser>

#include "ui/Simulator.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("orbsimulator"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Orb 2.0 Battle Simulator"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("armies"), QStringLiteral("An army file to open, as File > Open Armies does."),
                                 QStringLiteral("[armies.json]"));
    parser.process(app);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        parser.showHelp(2);
    try {
        createWindows();
        if (!files.isEmpty())
            Mainform->OpenArmiesAtStart(files.first());
        app.exec();
    } catch (const ConversionError& error) {
        ShowException(error);
    }
    return 0;
}
