// gmn2png: renders GMN text to a PNG through the notation layer.
//   gmn2png [--width W] [--height H] [--colour #rrggbb] [--page N] [--full-page] IN.gmn|- OUT.png
// The page keeps its aspect ratio inside W x H (default 1024 x 768) on white; by default the page is
// cut to the music. Exit code 0 on success, 1 on bad arguments, 2 when the code or engine fails.

#include "debug/Debugging.h"
#include "notation/NotationEngine.h"
#include "notation/NotationPainter.h"
#include "notation/NotationResources.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Renders GMN text to a PNG.");
    parser.addHelpOption();
    parser.addOption({"width", "Image width.", "W", "1024"});
    parser.addOption({"height", "Image height.", "H", "768"});
    parser.addOption({"colour", "Colour of the whole score.", "colour"});
    parser.addOption({"page", "Page to draw.", "N", "1"});
    parser.addOption({"full-page", "Keep the whole page instead of cutting it to the music."});
    parser.addPositionalArgument("in", "GMN file, or - for standard input.");
    parser.addPositionalArgument("out", "PNG file to write.");
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: gmn2png [options] IN.gmn|- OUT.png\n");
        return 1;
    }
    Debugging::initialize();
    Debugging::setLoggingLevel(QsLogging::WarnLevel);
    Debugging::enableConsoleLogging();

    QString code;
    if (args[0] == "-") {
        code = QTextStream(stdin).readAll();
    } else {
        QFile file(args[0]);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "gmn2png: cannot read %s\n", qPrintable(args[0]));
            return 1;
        }
        code = QString::fromUtf8(file.readAll());
    }
    if (!NotationResources::registerFont())
        return 2;

    NotationPainter painter;
    painter.setResizePageToMusic(!parser.isSet("full-page"));
    if (parser.isSet("colour"))
        painter.setScoreColor(QColor(parser.value("colour")));
    if (!painter.setGMNCode(code)) {
        int line = -1, column = -1;
        painter.getLastParseErrorLine(line, column);
        std::fprintf(stderr, "gmn2png: %s (line %d, column %d)\n", qPrintable(painter.getLastErrorMessage()), line,
                     column);
        return 2;
    }
    QImage image(parser.value("width").toInt(), parser.value("height").toInt(), QImage::Format_RGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "gmn2png: bad image size\n");
        return 1;
    }
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const int page = parser.value("page").toInt();
        if (!painter.draw(&p, page, image.rect().adjusted(8, 8, -8, -8))) {
            std::fprintf(stderr, "gmn2png: page %d not drawn (%d pages)\n", page, painter.pageCount());
            return 2;
        }
    }
    if (!image.save(args[1], "PNG")) {
        std::fprintf(stderr, "gmn2png: cannot write %s\n", qPrintable(args[1]));
        return 2;
    }
    return 0;
}
