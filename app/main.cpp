#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstring>

#include "ui/Simulator.h"

namespace {

void describeCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Orb 2.0 Battle Simulator: fight battles between two armies of the "
                       "strategy game Orb 2.0, once with a full report or many times for "
                       "the odds."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("armies"),
                                 QStringLiteral("An army file to open, as File > Open Armies does."),
                                 QStringLiteral("[armies.json]"));
}

// Whether the command line asks only for help or the version.
bool asksForHelpOrVersion(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("orbsimulator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORB_VERSION));
    // Help and the version are printed without a window system, as command
    // line programs do: a terminal without a display must get them too.
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describeCommandLine(parser);
        parser.process(app);  // prints and exits
    }
    QApplication app(argc, argv);
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("orbsimulator"));
    QCommandLineParser parser;
    describeCommandLine(parser);
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
