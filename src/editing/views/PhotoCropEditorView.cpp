#include "editing/views/PhotoCropEditorView.h"

#include "editing/views/CropCanvas.h"
#include "editing/views/RetouchPanel.h"
#include "ui/CapsuleButton.h"
#include "ui/FusedGroup.h"
#include "ui/SplitterMemory.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

namespace tavrin {

namespace {

const QString applyPresetHelp = QStringLiteral("Applique à cette photo les réglages enregistrés.");
const QString savePresetHelp =
    QStringLiteral("Enregistre les réglages de cette photo comme retouche par défaut partout ailleurs. "
                   "Les curseurs ne modifient pas le préréglage tant que vous n’enregistrez pas.");

int formatID(PrintFormat format) { return format == PrintFormat::a4 ? 1 : 0; }

} // namespace

PhotoCropEditorView::PhotoCropEditorView(QWidget* parent)
    : QWidget(parent), m_model(new CropEditorModel), m_ownsModel(true)
{
    build();
}

PhotoCropEditorView::PhotoCropEditorView(CropEditorModel& model, QWidget* parent)
    : QWidget(parent), m_model(&model), m_ownsModel(false)
{
    build();
}

PhotoCropEditorView::~PhotoCropEditorView()
{
    if (!m_ownsModel) return;
    // Our own model goes with us: its last look is written first (the model waits for the write).
    m_model->close();
    delete m_model;
}

void PhotoCropEditorView::build()
{
    setMinimumWidth(420);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(Theme::spacing, Theme::spacing, Theme::spacing, Theme::spacing);
    root->setSpacing(Theme::spacing);

    // Toolbar: undo and close on the first line, the look's choices on the second, so that the
    // panel stays usable at its narrowest beside the gallery.
    auto* top = new QHBoxLayout;
    m_undoButton = new CapsuleButton(CapsuleKind::glass, m_model->undoText(), QString(), this);
    top->addWidget(m_undoButton);
    top->addStretch(1);
    m_closeButton = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Fermer"), QString(), this);
    top->addWidget(m_closeButton);
    root->addLayout(top);

    auto* look = new QHBoxLayout;
    m_formats = new FusedGroup(true, this);
    m_formats->addButton(QStringLiteral("Format A5"), QString(), formatID(PrintFormat::a5));
    m_formats->addButton(QStringLiteral("Format A4"), QString(), formatID(PrintFormat::a4));
    look->addWidget(m_formats);
    // A one-segment fused group: switched on, it reads like the chosen format beside it.
    auto* watermark = new FusedGroup(false, this);
    watermark->setObjectName(QStringLiteral("cropWatermarkGroup"));
    m_watermarkToggle = watermark->addButton(QStringLiteral("Filigrane"), QString(), 0);
    m_watermarkToggle->setCheckable(true);
    m_watermarkToggle->setToolTip(QStringLiteral("Étendre le filigrane depuis le bas, centré"));
    look->addWidget(watermark);
    look->addStretch(1);
    root->addLayout(look);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);
    m_canvas = new CropCanvas(*m_model, m_splitter);
    m_splitter->addWidget(m_canvas);

    auto* scroll = new QScrollArea(m_splitter);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* retouch = new QWidget;
    auto* retouchLayout = new QVBoxLayout(retouch);
    retouchLayout->setContentsMargins(0, 0, Theme::smallSpacing, 0);
    auto* presets = new QHBoxLayout;
    m_applyPreset = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Appliquer le préréglage"), QString(), retouch);
    m_applyPreset->setToolTip(applyPresetHelp);
    m_savePreset = new CapsuleButton(CapsuleKind::glass, QStringLiteral("Enregistrer le préréglage"), QString(), retouch);
    m_savePreset->setToolTip(savePresetHelp);
    presets->addWidget(m_applyPreset);
    presets->addWidget(m_savePreset);
    presets->addStretch(1);
    retouchLayout->addLayout(presets);
    m_presetHint = new QLabel(QStringLiteral("Aucun préréglage enregistré. Enregistrez d’abord des réglages."), retouch);
    m_presetHint->setWordWrap(true);
    retouchLayout->addWidget(m_presetHint);
    m_retouchPanel = new RetouchPanel(retouch);
    retouchLayout->addWidget(m_retouchPanel);
    scroll->setWidget(retouch);
    m_splitter->addWidget(scroll);
    m_splitter->setStretchFactor(0, 3);
    m_splitter->setStretchFactor(1, 2);
    SplitterMemory::remember(m_splitter, QStringLiteral("cropEditor"));
    root->addWidget(m_splitter, 1);

    // Shown while the turned or zoomed frame leaves the photo: what it means, and the way back.
    m_beyond = new QWidget(this);
    m_beyond->setObjectName(QStringLiteral("cropBeyondPhoto"));
    auto* beyond = new QHBoxLayout(m_beyond);
    beyond->setContentsMargins(0, 0, 0, 0);
    beyond->setSpacing(Theme::spacing);
    m_beyondText = new QLabel(CropEditorModel::beyondPhotoText(), m_beyond);
    m_beyondText->setWordWrap(true);
    beyond->addWidget(m_beyondText, 1);
    m_fitButton = new CapsuleButton(CapsuleKind::glass, CropEditorModel::fitToPhotoText(), QString(), m_beyond);
    m_fitButton->setObjectName(QStringLiteral("cropFitToPhoto"));
    m_fitButton->setToolTip(QStringLiteral("Ramène le cadre dans la photo, au plus grand, sans changer son format"));
    beyond->addWidget(m_fitButton, 0, Qt::AlignVCenter);
    m_beyond->hide();
    root->addWidget(m_beyond);

    m_error = new QLabel(this);
    m_error->setWordWrap(true);
    m_error->hide();
    root->addWidget(m_error);

    auto* bar = new QHBoxLayout;
    bar->addStretch(1);
    m_validateButton = new CapsuleButton(CapsuleKind::prominent, CropEditorModel::validateText(), QString(), this);
    bar->addWidget(m_validateButton);
    bar->addStretch(1);
    root->addLayout(bar);

    connect(m_undoButton, &QAbstractButton::clicked, this, &PhotoCropEditorView::undo);
    connect(m_closeButton, &QAbstractButton::clicked, this, &PhotoCropEditorView::closePanel);
    connect(m_formats, &FusedGroup::idClicked, this,
            [this](int id) { m_model->setFormat(id == formatID(PrintFormat::a4) ? PrintFormat::a4 : PrintFormat::a5); });
    connect(m_watermarkToggle, &QAbstractButton::clicked, this, [this](bool on) { m_model->setIncludeWatermark(on); });
    connect(m_retouchPanel, &RetouchPanel::settingsChanged, this,
            [this](const PhotoRetouchSettings& settings) { m_model->setRetouchPreview(settings); });
    connect(m_fitButton, &QAbstractButton::clicked, m_model, &CropEditorModel::fitCropToPhoto);
    connect(m_applyPreset, &QAbstractButton::clicked, this, &PhotoCropEditorView::applyPreset);
    connect(m_savePreset, &QAbstractButton::clicked, this, &PhotoCropEditorView::savePreset);
    connect(m_validateButton, &QAbstractButton::clicked, this, &PhotoCropEditorView::confirm);

    for (auto signal : {&CropEditorModel::stateChanged, &CropEditorModel::loaded, &CropEditorModel::fileChanged,
                        &CropEditorModel::errorMessageChanged, &CropEditorModel::watermarkImageChanged})
        connect(m_model, signal, this, &PhotoCropEditorView::refresh);
    connect(m_model, &CropEditorModel::openChanged, this, &PhotoCropEditorView::refresh);
    connect(m_model, &CropEditorModel::activeHandleChanged, this, &PhotoCropEditorView::refresh);
    setFocusProxy(m_canvas);
    applyColours();
    refresh();
}

void PhotoCropEditorView::applyColours()
{
    // Taken from the current palette, so the texts follow a switch between light and dark.
    QPalette hint = m_presetHint->palette();
    hint.setColor(QPalette::WindowText, Theme::secondaryText(palette()));
    m_presetHint->setPalette(hint);
    QPalette beyond = m_beyondText->palette();
    beyond.setColor(QPalette::WindowText, Theme::orange(palette().color(QPalette::Window).lightness() < 128));
    m_beyondText->setPalette(beyond);
    QPalette error = m_error->palette();
    error.setColor(QPalette::WindowText, Theme::red(palette().color(QPalette::Window).lightness() < 128));
    m_error->setPalette(error);
}

void PhotoCropEditorView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_error) applyColours();
}

void PhotoCropEditorView::open(const QString& file) { open(file, m_model->watermarkURL()); }

void PhotoCropEditorView::open(const QString& file, const std::optional<QString>& watermarkURL)
{
    m_model->open(file, watermarkURL, m_preset);
    m_canvas->setFocus(Qt::OtherFocusReason);
}

void PhotoCropEditorView::setPreset(const PhotoRetouchSettings& preset)
{
    m_preset = preset;
    refresh();
}

void PhotoCropEditorView::confirm()
{
    if (!m_validateButton->isEnabled()) return;
    const QPointer<PhotoCropEditorView> self(this);
    m_model->save([self](bool ok) {
        if (ok && self && self->onSaved) self->onSaved();
    });
}

void PhotoCropEditorView::undo()
{
    if (m_undoButton->isEnabled()) m_model->undoLast();
}

void PhotoCropEditorView::applyPreset()
{
    if (m_applyPreset->isEnabled()) m_model->setRetouchPreview(m_preset);
}

void PhotoCropEditorView::savePreset()
{
    if (!m_savePreset->isEnabled()) return;
    const PhotoRetouchSettings settings = m_model->retouchSettings();
    // The store hands the same value back through setPreset; showing it at once keeps the two
    // buttons right meanwhile.
    m_preset = settings;
    if (onSavePreset) onSavePreset(settings);
    refresh();
}

void PhotoCropEditorView::closePanel()
{
    m_model->close();
    if (onClose) onClose();
}

bool PhotoCropEditorView::isReady() const
{
    return m_model->isOpen() && !m_model->isLoading() && !m_model->imageSize().isEmpty();
}

void PhotoCropEditorView::refresh()
{
    const CropEditorModel& model = *m_model;
    const bool ready = isReady();

    m_undoButton->setText(model.undoText());
    m_undoButton->setEnabled(ready && (!model.history().isEmpty() || model.hasOriginalBackup() ||
                                       model.currentState() != model.committed()));
    m_formats->setChecked(formatID(model.format()));
    m_formats->setEnabled(ready);
    m_watermarkToggle->setChecked(model.includeWatermark());
    m_watermarkToggle->setEnabled(ready && (model.watermarkURL() || model.includeWatermark()));
    m_validateButton->setEnabled(ready);

    if (m_retouchPanel->settings() != model.retouchSettings()) m_retouchPanel->setSettings(model.retouchSettings());
    m_retouchPanel->setEnabled(ready);
    m_savePreset->setEnabled(ready);
    m_applyPreset->setEnabled(ready && !m_preset.isNeutral());
    m_presetHint->setVisible(m_preset.isNeutral());

    // Not while a drag is under way: the row would push the canvas around under the pointer.
    if (!model.activeHandle()) m_beyond->setVisible(ready && model.cropReachesBeyondPhoto());

    const QString error = model.errorMessage().value_or(QString());
    m_error->setText(error);
    m_error->setVisible(!error.isEmpty());
}

void PhotoCropEditorView::keyPressEvent(QKeyEvent* event)
{
    const bool inValueField = qobject_cast<QLineEdit*>(focusWidget()) != nullptr;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain) {
        // In a value field Return only confirms the typed value.
        if (!inValueField) {
            event->accept();
            confirm();
            return;
        }
    } else if (event->matches(QKeySequence::Undo)) {
        event->accept();
        undo();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tavrin
