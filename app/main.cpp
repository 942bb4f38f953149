#include "app/OSTREVALE.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

void Describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Desktop editor for IMG game archives."));
    // -reverse, -style and Qt's other one-dash options are words, not bundles of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("ARCHIVE.img"),
                                 QStringLiteral("The archive to open once the window is shown "
                                                "(a name that begins with - goes after --)."),
                                 QStringLiteral("[ARCHIVE.img]"));
}

// --help and --version are answered before the window system is touched, so they
// work without a display; both print and exit.
void AnswerHelpOrVersion(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    Describe(parser);
    // Qt's own options (-platform, -style, ...) are unknown here; only the QApplication
    // below knows them, so errors are left for the second look.
    parser.parse(arguments);
    // (--help-all lists the window system's options too, so the QApplication answers it.)
    QString asked;
    if (parser.isSet(QStringLiteral("version")))
        asked = QStringLiteral("--version");
    else if (parser.isSet(QStringLiteral("help")) && !parser.isSet(QStringLiteral("help-all")))
        asked = QStringLiteral("--help");
    if (asked.isEmpty())
        return;
    QCoreApplication app(argc, argv);
    parser.process(QStringList{arguments.value(0), asked}); // prints and exits
}

// "-" alone is no option to the parser, but is no archive either unless it follows --.
bool IsLoneDashBeforeEndOfOptions(const QStringList &arguments)
{
    const int dash = arguments.indexOf(QStringLiteral("-"), 1);
    const int endOfOptions = arguments.indexOf(QStringLiteral("--"), 1);
    return dash > 0 && (endOfOptions < 0 || dash < endOfOptions);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("ostrevale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREVALE_VERSION));
    AnswerHelpOrVersion(argc, argv);

    QApplication app(argc, argv);
    QCommandLineParser parser;
    Describe(parser);
    // An unknown option is an error, never an archive path.
    parser.process(app);
    if (IsLoneDashBeforeEndOfOptions(app.arguments())) {
        std::fputs("ostrevale: '-' is no archive; a file of that name opens with: ostrevale -- -\n", stderr);
        return EXIT_FAILURE;
    }
    const QStringList archives = parser.positionalArguments();

    OSTREVALE window;
    window.show();
    // The window is on screen first, so a failed opening shows its message over it.
    if (!archives.isEmpty())
        window.OpenIMGFile(archives.first());
    return app.exec();
}
