// Renders the application's SVG icon to the PNG sizes of the hicolor theme when rsvg-convert is
// not installed: render-icon SVG OUTDIR SIZE... writes OUTDIR/<size>x<size>/tavrin.png.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "Utilisation : render-icon ICÔNE.svg DOSSIER TAILLE...\n");
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "Icône illisible : %s\n", argv[1]);
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "Taille invalide : %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString folder = QStringLiteral("%1x%1").arg(size);
        if (!out.mkpath(folder) || !image.save(out.filePath(folder + QStringLiteral("/tavrin.png")), "PNG")) {
            std::fprintf(stderr, "Écriture impossible dans %s\n", argv[2]);
            return 1;
        }
    }
    return 0;
}
