#pragma once

#include "editing/CropEditorModel.h"
#include "editing/PhotoRetouchSettings.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QSplitter;

namespace tavrin {

class CapsuleButton;
class CropCanvas;
class FusedGroup;
class RetouchPanel;

// The crop editor panel shown beside the orders gallery: a toolbar (undo, print format, watermark,
// close), the canvas, the retouch controls with the preset actions, and the validation bar. Every
// action goes to the CropEditorModel; the panel keeps no editing state of its own. Return
// validates, Ctrl+Z undoes, arrow keys on the canvas nudge the frame.
class PhotoCropEditorView : public QWidget {
    Q_OBJECT

public:
    // With its own model.
    explicit PhotoCropEditorView(QWidget* parent = nullptr);
    // Observing a model owned elsewhere (the orders screen's), which must outlive the panel.
    explicit PhotoCropEditorView(CropEditorModel& model, QWidget* parent = nullptr);
    ~PhotoCropEditorView() override;

    CropEditorModel& model() const { return *m_model; }

    // Opens `file` in the model with the current preset; the watermark stays the model's
    // selection unless one is given.
    void open(const QString& file);
    void open(const QString& file, const std::optional<QString>& watermarkURL);

    // The preset retouch (the orders store's): what "Appliquer le préréglage" applies.
    const PhotoRetouchSettings& preset() const { return m_preset; }
    void setPreset(const PhotoRetouchSettings& preset);

    // Receives the photo's settings when the user saves them as the new preset.
    std::function<void(const PhotoRetouchSettings&)> onSavePreset;
    // After a validation whose write succeeded.
    std::function<void()> onSaved;
    // The user closed the panel (the model has already written and closed the photo).
    std::function<void()> onClose;

    // Validates the crop; onSaved runs once the file is written.
    void confirm();
    void undo();
    void applyPreset();
    void savePreset();
    void closePanel();

    CropCanvas* canvas() const { return m_canvas; }
    CapsuleButton* undoButton() const { return m_undoButton; }
    FusedGroup* formatGroup() const { return m_formats; }
    CapsuleButton* watermarkToggle() const { return m_watermarkToggle; }
    CapsuleButton* closeButton() const { return m_closeButton; }
    RetouchPanel* retouchPanel() const { return m_retouchPanel; }
    CapsuleButton* applyPresetButton() const { return m_applyPreset; }
    CapsuleButton* savePresetButton() const { return m_savePreset; }
    QLabel* presetHint() const { return m_presetHint; }
    CapsuleButton* validateButton() const { return m_validateButton; }
    QLabel* errorLabel() const { return m_error; }
    // The row saying the frame reaches beyond the photo, and its "Ajuster à la photo".
    QWidget* beyondPhotoRow() const { return m_beyond; }
    CapsuleButton* fitToPhotoButton() const { return m_fitButton; }

    QSize sizeHint() const override { return {560, 760}; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build();
    // A photo is open and its working image has arrived.
    bool isReady() const;
    void refresh();
    void applyColours();

    CropEditorModel* m_model;
    bool m_ownsModel;
    PhotoRetouchSettings m_preset;

    CapsuleButton* m_undoButton = nullptr;
    FusedGroup* m_formats = nullptr;
    CapsuleButton* m_watermarkToggle = nullptr;
    CapsuleButton* m_closeButton = nullptr;
    QSplitter* m_splitter = nullptr;
    CropCanvas* m_canvas = nullptr;
    QLabel* m_error = nullptr;
    QWidget* m_beyond = nullptr;
    QLabel* m_beyondText = nullptr;
    CapsuleButton* m_fitButton = nullptr;
    RetouchPanel* m_retouchPanel = nullptr;
    CapsuleButton* m_applyPreset = nullptr;
    CapsuleButton* m_savePreset = nullptr;
    QLabel* m_presetHint = nullptr;
    CapsuleButton* m_validateButton = nullptr;
};

} // namespace tavrin
