#pragma once

// The orders screen's crop editor: one model for the screen, its panel shown beside the gallery
// on the first crop, the watermark and preset kept in step with the store, and the gallery told
// of every write so its cell shows the new pixels.

#include "editing/CropEditorModel.h"
#include "editing/views/PhotoCropEditorView.h"

#include <QObject>
#include <QPointer>

namespace tavrin {

class OrdersStore;
class OrdersView;

class OrdersCropEditor : public QObject {
    Q_OBJECT
public:
    // Plugs itself into the view's crop hooks; lives as long as the view.
    explicit OrdersCropEditor(OrdersView& view);
    ~OrdersCropEditor() override;

    CropEditorModel& model() { return m_model; }
    PhotoCropEditorView* panel() const { return m_panel; }

    void openCrop(const QString& file);
    void syncCropWatermark();
    void close();

private:
    OrdersView& m_view;
    OrdersStore& m_store;
    CropEditorModel m_model;
    QPointer<PhotoCropEditorView> m_panel;
};

} // namespace tavrin
