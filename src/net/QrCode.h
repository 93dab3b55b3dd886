#pragma once

// A QR code of a text (libqrencode), drawn as an image for the screen or as Unicode half blocks
// for a terminal.

#include <QImage>
#include <QString>
#include <QVector>

namespace tavrin {

struct QrCode {
    int version = 0;
    int width = 0;          // modules per side, without the quiet zone
    QVector<bool> modules;  // row-major, true = dark

    static constexpr int quietZone = 4; // modules of light margin, as readers require

    // Error correction M; throws Error when the text cannot be encoded.
    static QrCode encode(const QString& text);

    bool dark(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < width && modules[y * width + x]; }
    // Black on white, `scale` pixels per module, quiet zone included: crisp at any integer scale.
    QImage image(int scale) const;
    // Two module rows per text line with ▀ ▄ █; dark modules are drawn, so the terminal's
    // background must be light (`forceColours` sets black on white with ANSI codes).
    QString halfBlocks(bool forceColours) const;
};

} // namespace tavrin
