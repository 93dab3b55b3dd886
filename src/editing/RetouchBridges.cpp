#include "editing/RetouchBridges.h"

#include "base/Error.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <mutex>

namespace tavrin::RetouchBridges {

namespace {

// Holds the float buffer until libvips closes the image wrapped around it.
void releaseBuffer(VipsImage*, gpointer holder) { delete static_cast<std::shared_ptr<float[]>*>(holder); }

Error cannotRead(const QString& path)
{
    return Error(QStringLiteral("Impossible de lire la photo « %1 ».").arg(QFileInfo(path).fileName()));
}

// libvips tells of damaged files ("error in tile", libjpeg's complaints) through GLib's log on
// standard error, in English. Like Qt's own messages they are dropped: Tavrin says in French what
// went wrong, through the error that the failed call raises.
void dropVipsLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

} // namespace

void ensureVips()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Before the first call into libvips, so that even its start-up stays quiet.
        g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                          dropVipsLog, nullptr);
        if (VIPS_INIT("tavrin")) throw Error(QStringLiteral("Impossible de préparer le traitement des images."));
    });
}

FloatImage fromVips(const vips::VImage& source)
{
    ensureVips();
    try {
        vips::VImage image = source;
        const bool hadAlpha = image.has_alpha();
        const double scale = (image.format() == VIPS_FORMAT_USHORT || image.interpretation() == VIPS_INTERPRETATION_RGB16 ||
                              image.interpretation() == VIPS_INTERPRETATION_GREY16)
                                 ? 65535.0
                                 : (image.format() == VIPS_FORMAT_FLOAT || image.format() == VIPS_FORMAT_DOUBLE) ? 1.0 : 255.0;
        if (image.bands() < 3) {
            // Grey, with or without alpha: repeat the grey band.
            vips::VImage grey = image.extract_band(0);
            vips::VImage rgb = grey.bandjoin(grey).bandjoin(grey);
            image = hadAlpha ? rgb.bandjoin(image.extract_band(1)) : rgb;
        }
        if (image.bands() == 3) image = image.bandjoin_const({scale});
        else if (image.bands() > 4) image = image.extract_band(0, vips::VImage::option()->set("n", 4));
        image = (image.cast(VIPS_FORMAT_FLOAT) * (1.0 / scale)).cast(VIPS_FORMAT_FLOAT);
        FloatImage out;
        out.width = image.width();
        out.height = image.height();
        out.channels = 4;
        out.opaque = !hadAlpha;
        if (source.get_typeof(VIPS_META_ICC_NAME)) {
            size_t length = 0;
            const void* data = source.get_blob(VIPS_META_ICC_NAME, &length);
            out.iccProfile = QByteArray(static_cast<const char*>(data), qsizetype(length));
        }
        // The rendered buffer becomes ours as it is: no copy.
        size_t size = 0;
        void* rendered = image.write_to_memory(&size);
        if (!rendered || size != out.valueCount() * sizeof(float)) {
            g_free(rendered);
            throw Error(QStringLiteral("Impossible de lire cette image."));
        }
        out.pixels = std::shared_ptr<float[]>(static_cast<float*>(rendered), [](float* p) { g_free(p); });
        return out;
    } catch (const vips::VError&) {
        throw Error(QStringLiteral("Impossible de lire cette image."));
    }
}

vips::VImage toVips(const FloatImage& image, bool eightBit)
{
    ensureVips();
    vips::VImage wrapped = vips::VImage::new_from_memory(const_cast<float*>(image.data()), image.valueCount() * sizeof(float),
                                                         image.width, image.height, image.channels, VIPS_FORMAT_FLOAT);
    g_signal_connect(wrapped.get_image(), "postclose", G_CALLBACK(releaseBuffer), new std::shared_ptr<float[]>(image.pixels));
    vips::VImage out = wrapped;
    if (image.channels == 4 && image.opaque) out = out.extract_band(0, vips::VImage::option()->set("n", 3));
    if (eightBit) out = (out * 255.0 + 0.5).cast(VIPS_FORMAT_UCHAR);
    out = out.copy(vips::VImage::option()->set("interpretation", image.channels >= 3 ? VIPS_INTERPRETATION_sRGB
                                                                                      : VIPS_INTERPRETATION_B_W));
    if (!image.iccProfile.isEmpty()) {
        // libvips takes its own copy, so the profile outlives this call.
        vips_image_set_blob_copy(out.get_image(), VIPS_META_ICC_NAME, image.iccProfile.constData(),
                                 size_t(image.iccProfile.size()));
    }
    return out;
}

FloatImage fromQImage(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGBA32FPx4);
    FloatImage out = FloatImage::allocate(image.width(), image.height(), 4);
    out.opaque = !source.hasAlphaChannel();
    out.iccProfile = source.colorSpace().isValid() ? source.colorSpace().iccProfile() : QByteArray();
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.row(y), image.constScanLine(y), out.rowValues() * sizeof(float));
    return out;
}

QImage toQImage(const FloatImage& image)
{
    auto* holder = new std::shared_ptr<float[]>(image.pixels);
    QImage out(reinterpret_cast<const uchar*>(image.data()), image.width, image.height,
               qsizetype(image.rowValues() * sizeof(float)), QImage::Format_RGBA32FPx4,
               [](void* h) { delete static_cast<std::shared_ptr<float[]>*>(h); }, holder);
    if (!image.iccProfile.isEmpty()) out.setColorSpace(QColorSpace::fromIccProfile(image.iccProfile));
    return out;
}

FloatImage decodeFile(const QString& path)
{
    ensureVips();
    try {
        const QByteArray file = QFile::encodeName(path);
        vips::VImage image =
            vips::VImage::new_from_file(file.constData(), vips::VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
        // Turning or flipping upside down reads rows out of order, which a sequential read refuses.
        if (image.get_typeof(VIPS_META_ORIENTATION) && image.get_int(VIPS_META_ORIENTATION) > 2)
            image = vips::VImage::new_from_file(file.constData(), vips::VImage::option()->set("access", VIPS_ACCESS_RANDOM));
        image = image.autorot();
        return fromVips(image);
    } catch (const vips::VError&) {
        throw cannotRead(path);
    } catch (const Error&) {
        throw cannotRead(path);
    }
}

void writeFile(const FloatImage& image, const QString& path)
{
    try {
        vips::VImage out = toVips(image);
        out.write_to_file(QFile::encodeName(path).constData());
    } catch (const vips::VError&) {
        throw Error(QStringLiteral("Impossible d’enregistrer la photo « %1 ».").arg(QFileInfo(path).fileName()));
    }
}

QByteArray jpegBytes(const vips::VImage& image, int quality)
{
    VipsBlob* blob = image.jpegsave_buffer(vips::VImage::option()->set("Q", quality)->set("strip", true));
    size_t length = 0;
    const void* data = vips_blob_get(blob, &length);
    QByteArray jpeg(static_cast<const char*>(data), qsizetype(length));
    vips_area_unref(VIPS_AREA(blob));
    return jpeg;
}

} // namespace tavrin::RetouchBridges
