#pragma once

// The state behind the crop editor beside the orders gallery: one photo at a time, a working copy
// of at most 2048 pixels, a crop frame of a print format that the user moves, resizes and turns,
// the watermark, a live retouch preview, validation and undo back to the camera's file. Every
// change goes into the photo's journal and is rendered to the visible file in the background, so
// closing the editor never loses work. Lives on the main thread; decoding and previews run as
// background jobs, writes one at a time in order, and a result lands only while it is still the
// newest of its kind. The geometry (layout, handles, gestures' arithmetic) is CropEditorGeometry's.
// The look's state, gestures and undo are in CropEditorModel.cpp, the loading and the preview in
// CropEditorPreview.cpp, the writes in CropEditorWrites.cpp.
//
// Units: the look (offset) is kept in pixels of the full upright photo, like the journal; the frame
// and gestures are in pixels of the working image (`imageSize()`), converted by the model.

#include "base/BackgroundJobs.h"
#include "editing/CropEdge.h"
#include "editing/CropEditorGeometry.h"
#include "editing/CropEditState.h"
#include "editing/PhotoEditJournal.h"
#include "editing/PhotoRetouchSettings.h"
#include "editing/PrintFormat.h"
#include "editing/RetouchChain.h"
#include "editing/RetouchImage.h"

#include <QImage>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include <vips/vips8>

class QTimer;

namespace tavrin {

// Result of decoding a photo for the editor.
struct LoadedCrop {
    std::optional<FloatImage> image; // working image, before retouch
    QImage preview;                  // displayable copy of it
    std::optional<vips::VImage> watermark;     // at most 2048 pixels
    std::optional<vips::VImage> watermarkFull; // full resolution
    QSizeF fullSize;                 // the upright photo's own size
};

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

    // Counts the writes asked for; a write's landing updates the state only while it is unchanged.
    quint64 persistGeneration() const { return m_persistGeneration; }
    // A delayed retouch write is waiting (for its timer, or for the preview being computed).
    bool hasPendingPersist() const;
    // Background jobs (load, preview, write) not yet back on the main thread.
    int jobsInFlight() const { return m_work.pendingCount() + m_writes.pendingCount(); }

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
    // Before someone else rewrites `photos`: the look of the open photo, when it is one of them, is
    // written now, and `ready` runs on this thread once no write of the editor is in flight (at
    // once when none is), so that nothing the editor still had to write lands over their result.
    void flushWrites(const QStringList& photos, std::function<void()> ready);

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
    struct WriteResult;
    static bool samePath(const QString& a, const QString& b);
    // The look on its way to the file through the one render path.
    static WriteResult writeLook(const QString& url, const CropEditState& look, const std::optional<vips::VImage>& watermark,
                                 const JobContext& job);

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
    void landWrite(const QString& url, quint64 generation, const WriteResult& result);
    // Drops the writes of a photo still queued or running: its file was changed by someone else.
    void dropWrites(const QString& url);

    bool m_isOpen = false;
    std::optional<QString> m_fileURL;
    std::optional<QString> m_watermarkURL;

    QImage m_preview;
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

    quint64 m_persistGeneration = 0;
    // Callbacks of validations whose write has not landed, by job key.
    QHash<QString, std::function<void(bool)>> m_pendingSaves;
    quint64 m_saveCounter = 0;
    // Waiting for the writes in flight to land (flushWrites).
    QList<std::function<void()>> m_afterWrites;

    QTimer* m_persistTimer = nullptr;
    // A retouched preview for the current look is being computed.
    bool m_previewInFlight = false;
    // The delay is over but the write waits for that preview.
    bool m_persistWaitsForPreview = false;

    std::optional<FloatImage> m_baseImage;
    QImage m_basePreview;
    // What the last preview kept for the next slider move over the same working copy.
    std::shared_ptr<RetouchChain::Memo> m_previewMemo = std::make_shared<RetouchChain::Memo>();
    QSizeF m_fullSize;

    std::function<void(const QString&)> m_onFileWritten;

    QList<CropEditState> m_history;
    CropEditState m_committed;
    PhotoRetouchSettings m_presetForLegacy;
    std::optional<CropEditState> m_bakedState;

    // Decoding and previews ("load", "watermarks", "preview"); writes go one at a time, in the
    // order asked, so an older look never lands after a newer one ("write:", "validate:",
    // "restore:" and the photo).
    BackgroundJobs m_work{nullptr, 2};
    BackgroundJobs m_writes{nullptr, 1};
};

} // namespace tavrin
