#include "editing/CropEditorModel.h"

#include "editing/PhotoComposer.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchBridges.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

// The crop editor's images: the working copy and watermarks loaded in the background, and the
// retouched preview, a newer one stopping an older one.

namespace tavrin {

namespace {

QString sessionFolder() { return QDir(QDir::tempPath()).filePath(QStringLiteral("tavrin-crop-session")); }

// 8-bit copy of the float bitmap for painting; rows are spread over the cores.
QImage displayImage(const FloatImage& image)
{
    if (image.isNull() || image.channels != 4) return {};
    QImage out(image.width, image.height, image.opaque ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888);
    if (out.isNull()) return {};
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float* in = image.row(y);
            uchar* line = out.scanLine(y);
            for (std::size_t i = 0; i < image.rowValues(); ++i)
                line[i] = uchar(std::clamp(in[i], 0.0f, 1.0f) * 255.0f + 0.5f);
            if (image.opaque)
                for (int x = 0; x < image.width; ++x) line[4 * x + 3] = 255;
        }
    });
    return out;
}

std::optional<vips::VImage> loadWatermark(const std::optional<QString>& url, std::optional<int> maxPixel)
{
    if (!url || url->isEmpty()) return std::nullopt;
    auto image = PhotoComposer::loadImage(*url, maxPixel);
    if (!image) return std::nullopt;
    try {
        // Held for the whole session: decoded now, not read again from a file that may change.
        return image->copy_memory();
    } catch (const vips::VError&) {
        return std::nullopt;
    }
}

} // namespace

// --- Loading -----------------------------------------------------------------------------------

void CropEditorModel::startLoading(const QString& url, const PhotoRetouchSettings& initial)
{
    const std::optional<QString> watermarkURL = m_watermarkURL;
    // The load brings its own watermark images.
    m_work.cancel(QStringLiteral("watermarks"));
    struct Loaded {
        LoadedCrop crop;
        QString copy;
    };
    m_work.run(QStringLiteral("load"), [url, watermarkURL](const JobContext& job) {
        Loaded loaded;
        // The untouched copy is what every write starts from, so the frame is placed on it.
        const QString source = PhotoOriginals::hasBackup(url) ? PhotoOriginals::backupPath(url) : url;
        if (QDir().mkpath(sessionFolder())) {
            const QString suffix = QFileInfo(url).suffix();
            loaded.copy = QDir(sessionFolder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                                         (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
            if (!QFile::copy(source, loaded.copy)) loaded.copy.clear();
        }
        if (!loaded.copy.isEmpty()) {
            if (const auto working = PhotoComposer::loadImage(loaded.copy, workingMaxPixel)) {
                try {
                    const auto full = PhotoComposer::loadImage(loaded.copy);
                    loaded.crop.fullSize = full ? QSizeF(full->width(), full->height()) : QSizeF(working->width(), working->height());
                    loaded.crop.image = RetouchBridges::fromVips(*working);
                    loaded.crop.preview = displayImage(*loaded.crop.image);
                } catch (const std::exception&) {
                    loaded.crop.image.reset();
                }
            }
        }
        if (!job.isStale()) {
            loaded.crop.watermark = loadWatermark(watermarkURL, workingMaxPixel);
            loaded.crop.watermarkFull = loadWatermark(watermarkURL, std::nullopt);
        }
        // Nobody will land this load: its session copy goes now.
        if (job.isStale() && !loaded.copy.isEmpty()) QFile::remove(loaded.copy);
        return loaded;
    }, [this, url, initial](Loaded loaded) { landLoad(url, initial, std::move(loaded.crop), loaded.copy); });
}

void CropEditorModel::landLoad(const QString& url, const PhotoRetouchSettings& initial, LoadedCrop result,
                               const QString& sessionCopy)
{
    discardSessionCopy();
    if (!sessionCopy.isEmpty()) m_sessionBaseURL = sessionCopy;
    m_baseImage = std::move(result.image);
    m_basePreview = result.preview;
    m_fullSize = result.fullSize;
    m_watermarkImage = result.watermark;
    m_watermarkFull = result.watermarkFull;
    m_watermarkPreview = m_watermarkImage ? PhotoComposer::toQImage(*m_watermarkImage) : QImage();
    m_loadedURL = url;
    m_hasOriginalBackup = PhotoOriginals::hasBackup(url);
    if (!m_baseImage) {
        m_sessionBaseURL.reset();
        setErrorMessage(PhotoEditError::description(PhotoEditError::Kind::unreadablePhoto));
    }
    restoreOpenedState(PhotoEditMemory::read(url), initial);
    // The untouched working copy shows until its retouched preview arrives.
    m_preview = m_basePreview;
    if (m_baseImage) renderPreview();
    Q_EMIT watermarkImageChanged();
    emitState();
    Q_EMIT loaded();
}
void CropEditorModel::loadWatermarks()
{
    const std::optional<QString> url = m_watermarkURL;
    struct Watermarks {
        std::optional<vips::VImage> preview, full;
    };
    m_work.run(QStringLiteral("watermarks"), [url](const JobContext& job) {
        Watermarks w;
        w.preview = loadWatermark(url, workingMaxPixel);
        if (!job.isStale()) w.full = loadWatermark(url, std::nullopt);
        return w;
    }, [this](Watermarks w) {
        m_watermarkImage = w.preview;
        m_watermarkFull = w.full;
        m_watermarkPreview = w.preview ? PhotoComposer::toQImage(*w.preview) : QImage();
        Q_EMIT watermarkImageChanged();
    });
}
void CropEditorModel::clearImages()
{
    m_work.cancel(QStringLiteral("preview"));
    m_previewInFlight = false;
    m_loadedURL.reset();
    discardSessionCopy();
    m_baseImage.reset();
    m_basePreview = QImage();
    m_previewMemo = std::make_shared<RetouchChain::Memo>();
    m_preview = QImage();
    m_fullSize = QSizeF();
    m_watermarkImage.reset();
    m_watermarkFull.reset();
    m_watermarkPreview = QImage();
    Q_EMIT previewChanged();
    Q_EMIT watermarkImageChanged();
}
void CropEditorModel::discardSessionCopy()
{
    if (m_sessionBaseURL) QFile::remove(*m_sessionBaseURL);
    m_sessionBaseURL.reset();
}
// --- Preview -----------------------------------------------------------------------------------

void CropEditorModel::renderPreview()
{
    // A newer preview makes the older one stale: slider drags compute only the newest.
    m_work.cancel(QStringLiteral("preview"));
    m_previewInFlight = false;
    if (!m_baseImage) return;
    if (m_retouchSettings.isNeutral()) {
        m_preview = m_basePreview;
        Q_EMIT previewChanged();
        return;
    }
    // The working copy as it is shown, four bytes a pixel, goes through the chain as bytes: no
    // float copy to make, and the result is shown as it comes.
    const QImage base = m_basePreview;
    const PhotoRetouchSettings settings = m_retouchSettings;
    m_previewInFlight = true;
    m_work.run(QStringLiteral("preview"), [base, settings, memo = m_previewMemo](const JobContext& job) {
        try {
            // A newer slider move stops this render between steps; the steps before the moved one
            // come from the memo.
            return PhotoRetoucher::apply(base, settings, RetouchQuality::preview, [&job] { return !job.isStale(); }, *memo);
        } catch (const std::exception&) {
            // The untouched working copy keeps showing; the write still happens.
            return QImage();
        }
    }, [this](const QImage& shown) {
        m_previewInFlight = false;
        if (!shown.isNull()) {
            m_preview = shown;
            Q_EMIT previewChanged();
        }
        if (m_persistWaitsForPreview) {
            m_persistWaitsForPreview = false;
            persistLookToDisk();
        }
    });
}
} // namespace tavrin
