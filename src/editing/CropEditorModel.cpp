#include "editing/CropEditorModel.h"

#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace Geometry = CropEditorGeometry;

bool CropEditorModel::samePath(const QString& a, const QString& b)
{
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

CropEditorModel::CropEditorModel(QObject* parent) : QObject(parent), m_persistTimer(new QTimer(this))
{
    m_persistTimer->setSingleShot(true);
    m_persistTimer->setInterval(retouchPersistDelayMs);
    connect(m_persistTimer, &QTimer::timeout, this, [this] {
        // The full-size write waits for the preview on screen rather than take its cores.
        if (m_previewInFlight) m_persistWaitsForPreview = true;
        else persistLookToDisk();
    });
    connect(&m_writes, &BackgroundJobs::idle, this, [this] {
        for (const std::function<void()>& ready : std::exchange(m_afterWrites, {})) ready();
    });
}

CropEditorModel::~CropEditorModel()
{
    // A change still waiting for its delayed write goes to disk before the model goes away.
    if (m_isOpen) persistCurrent();
    m_persistTimer->stop();
    // The writes asked for run to their end; decoding and previews nobody will see are dropped.
    m_writes.waitForDone();
    m_work.cancelAll();
    m_work.waitForDone();
    discardSessionCopy();
    // Whoever waits for the writes is not left waiting.
    for (const std::function<void()>& ready : std::exchange(m_afterWrites, {})) ready();
}

// --- State ------------------------------------------------------------------------------------

QSizeF CropEditorModel::imageSize() const
{
    return m_baseImage ? QSizeF(m_baseImage->width, m_baseImage->height) : QSizeF();
}

double CropEditorModel::workingScale() const
{
    if (!m_baseImage || m_fullSize.width() <= 0) return 1;
    return double(m_baseImage->width) / m_fullSize.width();
}

CropEditState CropEditorModel::currentState() const
{
    CropEditState s;
    s.format = m_format;
    s.includeWatermark = m_includeWatermark;
    s.zoom = m_zoom;
    s.offset = m_offset;
    s.angle = m_angle;
    s.retouch = m_retouchSettings;
    s.cropValidated = m_cropValidated;
    return s;
}

void CropEditorModel::apply(const CropEditState& state)
{
    const bool retouchChanged = state.retouch != m_retouchSettings;
    m_format = state.format;
    m_includeWatermark = state.includeWatermark;
    m_zoom = state.zoom;
    m_offset = state.offset;
    m_angle = state.angle;
    m_retouchSettings = state.retouch;
    m_cropValidated = state.cropValidated;
    if (retouchChanged && m_baseImage) renderPreview();
}

bool CropEditorModel::hasGeometryEdits() const
{
    return m_zoom != 1 || m_offset != QSizeF(0, 0) || m_angle != 0 || m_includeWatermark;
}

QString CropEditorModel::undoText() const { return m_history.isEmpty() ? revertToOriginalText() : undoLastText(); }
QString CropEditorModel::undoLastText() { return QStringLiteral("Annuler la dernière modification (Ctrl+Z)"); }
QString CropEditorModel::revertToOriginalText() { return QStringLiteral("Revenir à la photo d’origine (Ctrl+Z)"); }
QString CropEditorModel::validateText() { return QStringLiteral("Valider le recadrage (Entrée)"); }
QString CropEditorModel::rotateHelpText() { return QStringLiteral("Corriger l’angle"); }
QString CropEditorModel::fitToPhotoText() { return QStringLiteral("Ajuster à la photo"); }
QString CropEditorModel::beyondPhotoText()
{
    return QStringLiteral("Le cadre dépasse de la photo : la partie hors photo sera imprimée en blanc.");
}

bool CropEditorModel::cropReachesBeyondPhoto() const
{
    return m_baseImage && Geometry::reachesBeyond(cropRect(), m_angle, imageSize());
}

void CropEditorModel::fitCropToPhoto()
{
    if (!m_baseImage || m_activeHandle || !cropReachesBeyondPhoto()) return;
    const QSizeF size = imageSize();
    const QRectF rect = Geometry::fittedCrop(cropRect(), m_angle, size);
    const double zoom = Geometry::zoomOfFrame(rect, size, m_format);
    if (zoom != m_zoom) {
        m_zoom = zoom;
        emitState();
    }
    setOffsetFromWorkingOrigin(rect);
    commitHistory();
}

QRectF CropEditorModel::cropRect() const
{
    if (!m_baseImage) return {};
    return Geometry::frameInPhoto(currentState(), imageSize(), workingScale());
}

CropCanvasLayout CropEditorModel::layout(QSizeF canvas) const
{
    return Geometry::cropLayout(imageSize(), cropRect(), canvas);
}

std::optional<CropHandle> CropEditorModel::hitTest(QPointF point, QSizeF canvas) const
{
    if (!m_baseImage) return std::nullopt;
    return Geometry::hitTest(point, layout(canvas).crop);
}

CropCursor CropEditorModel::cursorAt(QPointF point, QSizeF canvas) const
{
    return Geometry::cursorFor(hitTest(point, canvas));
}

bool CropEditorModel::hasPendingPersist() const { return m_persistTimer->isActive() || m_persistWaitsForPreview; }

void CropEditorModel::setErrorMessage(const std::optional<QString>& message)
{
    if (message == m_errorMessage) return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void CropEditorModel::setActiveHandle(const std::optional<CropHandle>& handle)
{
    if (handle == m_activeHandle) return;
    m_activeHandle = handle;
    Q_EMIT activeHandleChanged();
}

// --- Opening and closing ------------------------------------------------------------------------

PhotoRetouchSettings CropEditorModel::initialRetouch(const QString& url) const
{
    if (const auto journal = PhotoEditMemory::read(url)) return journal->current.retouch;
    // Edited before journals were kept: the preset is the best guess of what was applied.
    if (PhotoOriginals::hasBackup(url)) return m_presetForLegacy;
    return {};
}

void CropEditorModel::open(const QString& url, const std::optional<QString>& watermarkURL,
                           const PhotoRetouchSettings& retouch)
{
    if (m_isOpen && m_fileURL && samePath(*m_fileURL, url)) return;
    if (m_isOpen) persistCurrent();
    m_presetForLegacy = retouch;
    m_watermarkURL = watermarkURL;
    const PhotoRetouchSettings initial = initialRetouch(url);
    const bool wasOpen = m_isOpen;
    m_isOpen = true;
    m_fileURL = url;
    setErrorMessage(std::nullopt);
    setActiveHandle(std::nullopt);
    // Whatever belonged to the previous photo is gone before the new one lands, so no edit made
    // while loading can reach the wrong journal.
    clearImages();
    resetLook();
    if (!wasOpen) Q_EMIT openChanged(true);
    Q_EMIT fileChanged();
    emitState();
    startLoading(url, initial);
}

void CropEditorModel::restoreOpenedState(const std::optional<PhotoEditJournal>& journal, const PhotoRetouchSettings& initial)
{
    if (journal) {
        m_format = journal->current.format;
        m_includeWatermark = journal->current.includeWatermark;
        m_zoom = journal->current.zoom;
        m_offset = journal->current.offset;
        m_angle = journal->current.angle;
        m_retouchSettings = journal->current.retouch;
        m_cropValidated = journal->current.cropValidated;
        m_history = journal->history;
        m_committed = journal->current;
        m_bakedState = journal->current.cropValidated ? std::optional(journal->current) : std::nullopt;
    } else {
        m_zoom = 1;
        m_offset = QSizeF(0, 0);
        m_angle = 0;
        m_includeWatermark = false;
        m_cropValidated = false;
        m_retouchSettings = initial;
        m_history.clear();
        m_committed = currentState();
        m_bakedState.reset();
    }
    m_didSave = true;
}
void CropEditorModel::setWatermark(const std::optional<QString>& url)
{
    m_watermarkURL = url;
    if (m_isOpen && m_loadedURL) loadWatermarks();
}

void CropEditorModel::reloadIfShowing(const QString& url)
{
    if (!m_isOpen || !m_fileURL || !samePath(*m_fileURL, url)) return;
    cancelPersistTask();
    // The file was changed by someone else: whatever was still to be written is dropped.
    dropWrites(*m_fileURL);
    m_didSave = true;
    const QString file = *m_fileURL;
    clearImages();
    resetLook();
    emitState();
    startLoading(file, initialRetouch(file));
}

void CropEditorModel::close()
{
    persistCurrent();
    cancelPersistTask();
    const bool wasOpen = m_isOpen;
    m_isOpen = false;
    m_fileURL.reset();
    m_work.cancel(QStringLiteral("load"));
    m_work.cancel(QStringLiteral("watermarks"));
    clearImages();
    resetLook();
    setErrorMessage(std::nullopt);
    setActiveHandle(std::nullopt);
    m_hasOriginalBackup = false;
    if (wasOpen) Q_EMIT openChanged(false);
    Q_EMIT fileChanged();
    emitState();
}
void CropEditorModel::resetLook()
{
    m_format = PrintFormat::a5;
    m_includeWatermark = false;
    m_zoom = 1;
    m_offset = QSizeF(0, 0);
    m_angle = 0;
    m_cropValidated = false;
    m_retouchSettings = PhotoRetouchSettings{};
    m_history.clear();
    m_committed = currentState();
    m_bakedState.reset();
    m_didSave = true;
}

// --- Look changes -------------------------------------------------------------------------------

void CropEditorModel::writeJournal()
{
    if (!m_loadedURL) return;
    PhotoEditMemory::save(PhotoEditJournal{currentState(), m_history}, *m_loadedURL);
}

void CropEditorModel::commitHistory()
{
    const CropEditState current = currentState();
    if (current == m_committed) return;
    m_history.append(m_committed);
    while (m_history.size() > PhotoEditJournal::historyLimit) m_history.removeFirst();
    m_committed = current;
    m_didSave = false;
    writeJournal();
    emitState();
}

void CropEditorModel::setFormat(PrintFormat format)
{
    if (!m_baseImage || format == m_format) return;
    commitHistory();
    m_format = format;
    m_offset = QSizeF(0, 0);
    m_dragStartOffset = QSizeF(0, 0);
    commitHistory();
}

void CropEditorModel::setIncludeWatermark(bool include)
{
    if (!m_baseImage || include == m_includeWatermark) return;
    commitHistory();
    m_includeWatermark = include;
    commitHistory();
}

void CropEditorModel::setRetouchPreview(const PhotoRetouchSettings& settings)
{
    if (!m_baseImage || settings == m_retouchSettings) return;
    m_retouchSettings = settings;
    renderPreview();
    m_didSave = false;
    scheduleRetouchPersist();
    emitState();
}

// --- Gestures ------------------------------------------------------------------------------------

std::optional<CropHandle> CropEditorModel::beginGesture(QPointF press, const CropCanvasLayout& layout)
{
    const std::optional<CropHandle> handle = Geometry::hitTest(press, layout.crop);
    const QPointF fromCentre = press - layout.crop.center();
    beginGesture(handle, QSizeF(fromCentre.x(), fromCentre.y()));
    return handle;
}

void CropEditorModel::beginGesture(const std::optional<CropHandle>& handle, QSizeF vectorFromCentre)
{
    setActiveHandle(m_baseImage ? handle : std::nullopt);
    m_dragStartOffset = m_offset;
    m_dragStartCrop = cropRect();
    m_dragStartAngle = m_angle;
    m_dragStartVector = vectorFromCentre;
}

void CropEditorModel::setOffsetFromWorkingOrigin(const QRectF& rect)
{
    const QSizeF offset = Geometry::offsetOfFrame(rect, imageSize(), workingScale());
    if (offset != m_offset) {
        m_offset = offset;
        emitState();
    }
}

void CropEditorModel::applyGesture(QPointF translation, double scale)
{
    if (!m_activeHandle || !m_baseImage) return;
    const QSizeF size = imageSize();
    const QPointF t = translation / std::max(scale, 1e-9);
    switch (m_activeHandle->kind) {
    case CropHandle::Kind::move: {
        CropEditState start = currentState();
        start.offset = m_dragStartOffset;
        setOffsetFromWorkingOrigin(Geometry::movedFrame(start, QSizeF(t.x(), t.y()), size, workingScale()));
        break;
    }
    case CropHandle::Kind::edge: {
        const QRectF rect = Geometry::resizedFrame(m_dragStartCrop, m_activeHandle->edge, QSizeF(t.x(), t.y()), size, m_format);
        const double zoom = Geometry::zoomOfFrame(rect, size, m_format);
        if (zoom != m_zoom) {
            m_zoom = zoom;
            emitState();
        }
        setOffsetFromWorkingOrigin(rect);
        break;
    }
    case CropHandle::Kind::rotate: {
        const std::optional<double> angle =
            Geometry::turnedAngle(m_dragStartAngle, QPointF(m_dragStartVector.width(), m_dragStartVector.height()), translation);
        if (angle && *angle != m_angle) {
            m_angle = *angle;
            emitState();
        }
        break;
    }
    }
}

void CropEditorModel::finishGesture()
{
    setActiveHandle(std::nullopt);
    commitHistory();
}

void CropEditorModel::nudge(double dx, double dy)
{
    if (!m_baseImage || m_activeHandle) return;
    setOffsetFromWorkingOrigin(Geometry::movedFrame(currentState(), QSizeF(dx, dy), imageSize(), workingScale()));
    commitHistory();
}
// --- Undo --------------------------------------------------------------------------------------

void CropEditorModel::undoLast()
{
    if (!m_loadedURL) return;
    cancelPersistTask();
    ++m_persistGeneration;
    commitHistory();
    if (m_history.isEmpty()) {
        restoreUntouchedPhoto();
        return;
    }
    const CropEditState previous = m_history.takeLast();
    apply(previous);
    m_committed = previous;
    m_bakedState = previous.cropValidated ? std::optional(previous) : std::nullopt;
    writeJournal();
    emitState();
    persistLookToDisk();
}
} // namespace tavrin
