#pragma once

// The state behind the crop editor beside the orders gallery: one photo at a time, a working copy
// of at most 2048 pixels, a crop frame of a print format that the user moves, resizes and turns,
// the watermark, a live retouch preview, validation and undo back to the camera's file. Every
// change goes into the photo's journal and is rendered to the visible file in the background, so
// closing the editor never loses work. Lives on the main thread; decoding, previews and writes
// run on the model's own thread pools and are applied only when their generation still matches.
//
// Units: the look (offset) is kept in pixels of the full upright photo, like the journal; the frame
// and gestures are in pixels of the working image (`imageSize()`), converted by the model.

#include "editing/CropEdge.h"
#include "editing/CropEditState.h"
#include "editing/PhotoEditJournal.h"
#include "editing/PhotoRetouchSettings.h"
#include "editing/PrintFormat.h"
#include "editing/RetouchImage.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include <vips/vips8>

class QTimer;

namespace tavrin {

// What a press on the canvas grabs: one of the eight grab points, the whole frame, or a rotation zone.
struct CropHandle {
    enum class Kind { edge, move, rotate };
    Kind kind = Kind::move;
    CropEdge edge = CropEdge::left; // meaningful only for Kind::edge

    static CropHandle ofEdge(CropEdge e) { return {Kind::edge, e}; }
    static CropHandle move() { return {Kind::move, CropEdge::left}; }
    static CropHandle rotate() { return {Kind::rotate, CropEdge::left}; }
    bool isEdge(CropEdge e) const { return kind == Kind::edge && edge == e; }
    bool operator==(const CropHandle& other) const
    {
        return kind == other.kind && (kind != Kind::edge || edge == other.edge);
    }
};

// Pointer shape per handle; the view maps each to its Qt cursor of the same name.
enum class CropCursor { arrow, sizeHor, sizeVer, sizeFDiag, sizeBDiag, openHand, cross };

// Where the photo and the frame sit on a canvas, in view points, and view points per working pixel.
struct CropCanvasLayout {
    QRectF image;
    QRectF crop;
    double scale = 1;
    bool operator==(const CropCanvasLayout&) const = default;
};

// Everything a background render needs, captured on the main thread. `offset` is in full-photo pixels.
struct CropSnapshot {
    QString url;
    double zoom = 1;
    QSizeF offset{0, 0};
    double angle = 0;
    PrintFormat format = PrintFormat::a5;
    std::optional<vips::VImage> watermark;
    PhotoRetouchSettings retouch;
};

// Result of decoding a photo for the editor.
struct LoadedCrop {
    std::optional<FloatImage> image; // working image, before retouch
    QImage preview;                  // displayable copy of it
    std::optional<vips::VImage> watermark;     // at most 2048 pixels
    std::optional<vips::VImage> watermarkFull; // full resolution
    QSizeF fullSize;                 // the upright photo's own size
};

namespace CropEditorGeometry {
// The photo zoomed out far enough that the whole frame, even beyond the photo, fits the canvas.
CropCanvasLayout cropLayout(QSizeF imageSize, const QRectF& crop, QSizeF canvas);
// Rotation zones 26 inside each corner (radius 18), then corners (12), then edges (12), then the inside.
std::optional<CropHandle> hitTest(QPointF point, const QRectF& frame);
// Pointer shape for a handle, the arrow outside the frame.
CropCursor cursorFor(const std::optional<CropHandle>& handle);
// Degrees brought into [−180, 180] by whole turns, then limited to ±45.
double limitedAngle(double degrees);
// A corner of the frame, turned by `angle` degrees about its centre as on the page, falls outside
// the photo (working pixels): the print would show white there.
bool reachesBeyond(const QRectF& crop, double angle, QSizeF imageSize);
// The frame brought inside the photo at that angle: the same aspect, the largest size the photo
// holds (never larger than it was), its centre kept where that size allows.
QRectF fittedCrop(const QRectF& crop, double angle, QSizeF imageSize);
} // namespace CropEditorGeometry

class CropEditorModel : public QObject {
    Q_OBJECT

public:
    // Delay between the last retouch change and the write it causes.
    static constexpr int retouchPersistDelayMs = 280;
    // Long side of the working copy and of the preview watermark.
    static constexpr int workingMaxPixel = 2048;

    explicit CropEditorModel(QObject* parent = nullptr);
    // Writes a change still pending and waits for writes in flight, so that nothing is lost.
    ~CropEditorModel() override;

    // --- State --------------------------------------------------------------------------------
    bool isOpen() const { return m_isOpen; }
    // The photo being edited, none when closed.
    const std::optional<QString>& fileURL() const { return m_fileURL; }
    // The selected watermark file.
    const std::optional<QString>& watermarkURL() const { return m_watermarkURL; }
    // The photo whose images are loaded (lags fileURL while loading).
    const std::optional<QString>& loadedURL() const { return m_loadedURL; }
    // True from open() until the working image (or the failure) has arrived.
    bool isLoading() const { return m_isOpen && m_loadedURL != m_fileURL; }
    // The working copy with the current retouch; null while loading or unreadable.
    const QImage& preview() const { return m_preview; }
    // The watermark at most 2048 pixels, for drawing inside the frame; null when none.
    const QImage& watermarkImage() const { return m_watermarkPreview; }
    // Pixel size of the working image, the space of cropRect() and gestures; empty when none.
    QSizeF imageSize() const;
    // Pixel size of the full upright photo.
    QSizeF fullImageSize() const { return m_fullSize; }

    PrintFormat format() const { return m_format; }
    bool includeWatermark() const { return m_includeWatermark; }
    double zoom() const { return m_zoom; }
    // Displacement of the crop centre, in full-photo pixels.
    QSizeF offset() const { return m_offset; }
    // Degrees, within ±45; positive turns the photo clockwise under the frame.
    double angle() const { return m_angle; }
    bool cropValidated() const { return m_cropValidated; }
    const PhotoRetouchSettings& retouchSettings() const { return m_retouchSettings; }
    // The seven look fields as one state.
    CropEditState currentState() const;
    // Zoom, offset or angle moved, or the watermark is on.
    bool hasGeometryEdits() const;

    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    const std::optional<CropHandle>& activeHandle() const { return m_activeHandle; }
    bool hasOriginalBackup() const { return m_hasOriginalBackup; }
    // The current look has been written to disk.
    bool didSave() const { return m_didSave; }
    // Previous looks, oldest first (at most 80).
    const QList<CropEditState>& history() const { return m_history; }
    const CropEditState& committed() const { return m_committed; }
    const std::optional<CropEditState>& bakedState() const { return m_bakedState; }
    const PhotoRetouchSettings& presetForLegacy() const { return m_presetForLegacy; }

    // Label of the undo button: back to the original when there is no step left.
    QString undoText() const;
    static QString undoLastText();       // "Annuler la dernière modification (Ctrl+Z)"
    static QString revertToOriginalText(); // "Revenir à la photo d’origine (Ctrl+Z)"
    static QString validateText();       // "Valider le recadrage (Entrée)"
    static QString rotateHelpText();     // "Corriger l’angle"
    static QString fitToPhotoText();     // "Ajuster à la photo"
    static QString beyondPhotoText();    // what the editor says while the frame reaches beyond

    // The frame of the current look in working-image pixels.
    QRectF cropRect() const;
    // The turned frame reaches beyond the photo (a zoom out, a rotation or a move).
    bool cropReachesBeyondPhoto() const;
    // Layout of the working image and the frame on a canvas of that size.
    CropCanvasLayout layout(QSizeF canvas) const;
    // Which handle a press at `point` on that canvas would take.
    std::optional<CropHandle> hitTest(QPointF point, QSizeF canvas) const;
    // Pointer shape for hovering `point`.
    CropCursor cursorAt(QPointF point, QSizeF canvas) const;

    // Generation counters; a background result is applied only while its counter is unchanged.
    quint64 loadGeneration() const { return m_loadGeneration; }
    quint64 writeGeneration() const { return m_writeGeneration->load(); }
    quint64 previewGeneration() const { return m_previewGeneration; }
    quint64 persistGeneration() const { return m_persistGeneration; }
    // A delayed retouch write is waiting (for its timer, or for the preview being computed).
    bool hasPendingPersist() const;
    // Background jobs (load, preview, write) not yet back on the main thread.
    int jobsInFlight() const { return m_jobsInFlight; }

    // Called after each successful write with the photo's path (besides fileWritten).
    void setOnFileWritten(std::function<void(const QString& file)> callback) { m_onFileWritten = std::move(callback); }

    // --- Actions ------------------------------------------------------------------------------
    // Opens a photo (writing the previous one first); nothing when already open on it. `retouch` is
    // the preset used for photos edited before journals existed.
    void open(const QString& url, const std::optional<QString>& watermarkURL, const PhotoRetouchSettings& retouch);
    // Writes the look, then forgets the photo and goes back to the default look.
    void close();
    // The orders screen changed the file itself: drop pending changes and reload it when shown.
    void reloadIfShowing(const QString& url);
    // A new watermark selection; both watermark images are reloaded when a photo is open.
    void setWatermark(const std::optional<QString>& url);

    // One undo step each; nothing when unchanged. A new format recentres the frame, keeping the zoom.
    void setFormat(PrintFormat format);
    void setIncludeWatermark(bool include);
    // Live retouch: new preview, file written 280 ms after the last change.
    void setRetouchPreview(const PhotoRetouchSettings& settings);

    // Gestures, in view points on a canvas laid out by layout(). Begin hit-tests the press and
    // remembers the start; gives the handle taken (none: the drag does nothing).
    std::optional<CropHandle> beginGesture(QPointF press, const CropCanvasLayout& layout);
    // Begin with a known handle; `vectorFromCentre` is press point minus frame centre, in view points.
    void beginGesture(const std::optional<CropHandle>& handle, QSizeF vectorFromCentre);
    // The drag's translation since the press, in view points; `scale` is the layout's.
    void applyGesture(QPointF translation, double scale);
    // Ends the drag as one undo step.
    void finishGesture();
    // Moves the frame by working-image pixels as one undo step (arrow keys).
    void nudge(double dx, double dy);
    // "Ajuster à la photo": the frame back inside the photo at the largest size that fits, as one
    // undo step; nothing while it is already inside.
    void fitCropToPhoto();

    // Validates the crop and writes it; `done` (and saveFinished) get the write's success.
    void save(std::function<void(bool ok)> done = {});
    // One step back, or back to the untouched photo when there is none left.
    void undoLast();
    // Writes the current look now unless it is already on disk.
    void persistCurrent();

Q_SIGNALS:
    void openChanged(bool isOpen);
    // fileURL changed (open, close).
    void fileChanged();
    // The working image arrived (or failed) for loadedURL.
    void loaded();
    void previewChanged();
    void watermarkImageChanged();
    // Any look field, the history, validation, didSave or hasOriginalBackup changed.
    void stateChanged();
    void activeHandleChanged();
    void errorMessageChanged();
    // The visible file was rewritten; the orders screen passes it to noteEdited.
    void fileWritten(const QString& file);
    void saveFinished(bool ok);

private:
    struct WriteJob;
    struct WriteQueue;

    void apply(const CropEditState& state);
    void restoreOpenedState(const std::optional<PhotoEditJournal>& journal, const PhotoRetouchSettings& initialRetouch);
    PhotoRetouchSettings initialRetouch(const QString& url) const;
    void startLoading(const QString& url, const PhotoRetouchSettings& initialRetouch);
    void landLoad(const QString& url, const PhotoRetouchSettings& initialRetouch, LoadedCrop result,
                  const QString& sessionCopy);
    void loadWatermarks();
    void renderPreview();
    void commitHistory();
    void scheduleRetouchPersist();
    void cancelPersistTask();
    void persistLookToDisk(std::function<void(bool ok)> done = {});
    void restoreUntouchedPhoto();
    void setOffsetFromWorkingOrigin(const QRectF& workingRect);
    void setErrorMessage(const std::optional<QString>& message);
    void setActiveHandle(const std::optional<CropHandle>& handle);
    void resetLook();
    void clearImages();
    void discardSessionCopy();
    // Working-image pixels per full-photo pixel.
    double workingScale() const;
    void emitState() { Q_EMIT stateChanged(); }
    void writeJournal();
    void jobStarted() { ++m_jobsInFlight; }
    void jobEnded() { --m_jobsInFlight; }

    bool m_isOpen = false;
    std::optional<QString> m_fileURL;
    std::optional<QString> m_watermarkURL;

    QImage m_preview;
    std::optional<FloatImage> m_sourceImage;
    std::optional<vips::VImage> m_watermarkImage;
    std::optional<vips::VImage> m_watermarkFull;
    QImage m_watermarkPreview;

    PrintFormat m_format = PrintFormat::a5;
    bool m_includeWatermark = false;
    double m_zoom = 1;
    QSizeF m_offset{0, 0};
    double m_angle = 0;
    bool m_cropValidated = false;
    PhotoRetouchSettings m_retouchSettings;

    std::optional<QString> m_errorMessage;

    std::optional<CropHandle> m_activeHandle;
    QSizeF m_dragStartOffset{0, 0};
    QRectF m_dragStartCrop;
    double m_dragStartAngle = 0;
    QSizeF m_dragStartVector{0, 0};

    bool m_hasOriginalBackup = false;
    std::optional<QString> m_loadedURL;
    std::optional<QString> m_sessionBaseURL;
    bool m_didSave = true;

    quint64 m_loadGeneration = 0;
    // Shared with write jobs, which give up when the file was changed by someone else meanwhile.
    std::shared_ptr<std::atomic<quint64>> m_writeGeneration;
    quint64 m_previewGeneration = 0;
    // The newest preview asked for, so that queued preview jobs already outdated never start.
    std::shared_ptr<std::atomic<quint64>> m_latestPreview;
    std::shared_ptr<WriteQueue> m_writeQueue;
    quint64 m_persistGeneration = 0;
    quint64 m_watermarkGeneration = 0;

    QTimer* m_persistTimer = nullptr;
    // A retouched preview for the current look is being computed.
    bool m_previewInFlight = false;
    // The delay is over but the write waits for that preview.
    bool m_persistWaitsForPreview = false;

    std::optional<FloatImage> m_baseImage;
    QImage m_basePreview;
    QSizeF m_fullSize;

    std::function<void(const QString&)> m_onFileWritten;

    QList<CropEditState> m_history;
    CropEditState m_committed;
    PhotoRetouchSettings m_presetForLegacy;
    std::optional<CropEditState> m_bakedState;

    int m_jobsInFlight = 0;
    // Decoding and previews; writes go one at a time, in order, on their own pool.
    QThreadPool m_workPool;
    QThreadPool m_writePool;
};

} // namespace tavrin
