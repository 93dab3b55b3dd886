#include "net/QrCode.h"

#include "base/Error.h"

#include <qrencode.h>

namespace tavrin {

QrCode QrCode::encode(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QRcode* code = QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code) throw Error(QStringLiteral("Impossible de fabriquer le QR code de l’adresse."));
    QrCode result;
    result.version = code->version;
    result.width = code->width;
    result.modules.resize(code->width * code->width);
    for (int i = 0; i < code->width * code->width; ++i) result.modules[i] = code->data[i] & 1;
    QRcode_free(code);
    return result;
}

QImage QrCode::image(int scale) const
{
    scale = std::max(1, scale);
    const int side = (width + 2 * quietZone) * scale;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!dark(x, y)) continue;
            for (int dy = 0; dy < scale; ++dy) {
                uchar* line = image.scanLine((y + quietZone) * scale + dy);
                std::fill_n(line + (x + quietZone) * scale, scale, uchar(0));
            }
        }
    }
    return image;
}

QString QrCode::halfBlocks(bool forceColours) const
{
    QString out;
    const int first = -quietZone, last = width + quietZone;
    for (int y = first; y < last; y += 2) {
        if (forceColours) out += QStringLiteral("\x1b[30;107m");
        for (int x = first; x < last; ++x) {
            const bool top = dark(x, y), bottom = y + 1 < last && dark(x, y + 1);
            out += top && bottom ? u'█' : top ? u'▀' : bottom ? u'▄' : u' ';
        }
        if (forceColours) out += QStringLiteral("\x1b[0m");
        out += u'\n';
    }
    return out;
}

} // namespace tavrin
