// Draws the 500 x 350 splash image with the program's name, in the UI font of content/fonts.
// Usage: make-splash <font.ttf> <out.png>   (tools/make-splash.sh runs it with the right paths)
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-splash <font.ttf> <out.png>\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const int id = QFontDatabase::addApplicationFont(QString::fromLocal8Bit(argv[1]));
    if (id < 0) {
        std::fprintf(stderr, "make-splash: cannot load font %s\n", argv[1]);
        return 1;
    }
    const QString family = QFontDatabase::applicationFontFamilies(id).value(0);

    QImage image(500, 350, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient background(0, 0, 0, 350);
    background.setColorAt(0.0, QColor(0x1d, 0x3a, 0x5f));
    background.setColorAt(1.0, QColor(0x0b, 0x16, 0x26));
    p.fillRect(image.rect(), background);

    // a staff behind the name; the status text sits top right and the version label at (12, 300)
    p.setPen(QPen(QColor(255, 255, 255, 60), 2));
    for (int i = 0; i < 5; ++i)
        p.drawLine(30, 130 + i * 18, 470, 130 + i * 18);

    QFont title(family, 52, QFont::Bold);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 110, 500, 110), Qt::AlignCenter, QStringLiteral("Brisola"));
    QFont subtitle(family, 14);
    p.setFont(subtitle);
    p.setPen(QColor(255, 255, 255, 190));
    p.drawText(QRect(0, 225, 500, 30), Qt::AlignCenter, QStringLiteral("ear training"));
    p.end();

    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "make-splash: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
