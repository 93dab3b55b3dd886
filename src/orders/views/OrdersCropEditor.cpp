#include "orders/views/OrdersCropEditor.h"

#include "editing/views/PhotoCropEditorView.h"
#include "orders/OrdersStore.h"
#include "orders/views/OrdersView.h"

#include <QDir>
#include <QFileInfo>

namespace tavrin {

OrdersCropEditor::OrdersCropEditor(OrdersView& view) : QObject(&view), m_view(view), m_store(view.store())
{
    m_model.setOnFileWritten([store = QPointer<OrdersStore>(&m_store)](const QString& file) {
        if (store) store->noteEdited(file);
    });
    view.openCrop = [this](const QString& file) { openCrop(file); };
    view.isCropEditorOpen = [this] { return m_model.isOpen(); };
    view.fileRestored = [this](const QString& file) { m_model.reloadIfShowing(file); };
    view.hooksChanged();

    connect(&m_store, &OrdersStore::watermarksChanged, this, &OrdersCropEditor::syncCropWatermark);
    connect(&m_store, &OrdersStore::retouchChanged, this, [this] {
        if (m_panel) m_panel->setPreset(m_store.retouch());
    });
    // A batch rewrites files from their untouched copies and journals: the open photo's look is
    // written first and the batch waits for it to land (the editor debounces its writes), so the
    // batch starts from it and no older look lands over the batch's result; the editor shows the
    // batch's result after.
    m_store.setBeforeBatch([this](const QStringList& photos, std::function<void()> start) {
        m_model.flushWrites(photos, std::move(start));
    });
    connect(&m_store, &OrdersStore::batchFinished, this, [this] {
        if (const std::optional<QString>& file = m_model.fileURL()) m_model.reloadIfShowing(*file);
    });
    // The gallery marks the photo the editor shows.
    connect(&m_model, &CropEditorModel::fileChanged, this, [this] { m_view.setEditingFile(m_model.fileURL()); });
    // Another order, or no order: the photo shown may no longer be in the gallery.
    connect(&m_store, &OrdersStore::foldersChanged, this, [this] {
        if (const std::optional<QString>& file = m_model.fileURL(); file && !QFileInfo::exists(*file)) close();
    });
    // Another order chosen: the photo shown is the order left behind, never to be taken for one
    // of the new order's.
    connect(&m_store, &OrdersStore::sectionsChanged, this, [this] {
        const std::optional<QString>& file = m_model.fileURL();
        if (!file) return;
        const std::optional<QString>& order = m_store.selectedFolderID();
        const QString inside = order ? QDir(*order).absolutePath() + u'/' : QString();
        if (!order || !QFileInfo(*file).absoluteFilePath().startsWith(inside)) close();
    });
}

OrdersCropEditor::~OrdersCropEditor()
{
    // Usually run while the view is being destroyed, its members already gone: the panel (which
    // the view has let go of, and which observes the model) is deleted here without asking the
    // view anything.
    delete m_panel;
    m_store.setBeforeBatch({});
    disconnect(&m_model, nullptr, this, nullptr);
    m_model.close();
}

void OrdersCropEditor::openCrop(const QString& file)
{
    if (!m_panel) {
        m_panel = new PhotoCropEditorView(m_model);
        m_panel->onSavePreset = [this](const PhotoRetouchSettings& settings) { m_store.setRetouch(settings); };
        m_panel->onClose = [this] { m_view.setBesideGallery(nullptr); };
    }
    m_panel->setPreset(m_store.retouch());
    m_model.open(file, m_store.resolveWatermark(), m_store.retouch());
    m_view.setBesideGallery(m_panel);
    m_panel->setFocus();
}

void OrdersCropEditor::syncCropWatermark() { m_model.setWatermark(m_store.resolveWatermark()); }

void OrdersCropEditor::close()
{
    m_model.close();
    m_view.setBesideGallery(nullptr);
}

} // namespace tavrin
