#pragma once

// What the printing tests read back from a produced PDF or image, through poppler's and libvips'
// own tools, and the ImageMagick call that makes their photos.

#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace tavrin::test {

inline bool magick(const QStringList& arguments) { return QProcess::execute(QStringLiteral("convert"), arguments) == 0; }

// The program's standard output.
inline QString commandOutput(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline int pdfPages(const QString& pdf)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(commandOutput(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// pdfimages -list: one line per image, "page num type width height …", in page order.
struct PdfImage {
    int page, width, height;
};
inline QList<PdfImage> pdfImages(const QString& pdf)
{
    QList<PdfImage> images;
    const QStringList lines = commandOutput(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(u'\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() > 4) images.push_back({f[0].toInt(), f[3].toInt(), f[4].toInt()});
    }
    return images;
}

} // namespace tavrin::test
