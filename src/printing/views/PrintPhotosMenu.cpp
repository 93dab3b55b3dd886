#include "printing/views/PrintPhotosMenu.h"

#include "printing/PhotoPrinter.h"
#include "printing/PrintPaperFormat.h"
#include "printing/views/PrintSession.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

namespace tavrin {

PrintPhotosMenu::PrintPhotosMenu(const QStringList& files, const QString& label, QWidget* parent)
    : QMenu(label, parent), m_photos(PhotoPrinter::photosOf(files))
{
    const QString help = m_photos.isEmpty() ? QStringLiteral("Aucune photo à imprimer")
                                            : QStringLiteral("Imprimer en pleine résolution, sans compression");
    setToolTipsVisible(true);
    setToolTip(help);
    menuAction()->setToolTip(help);
    menuAction()->setStatusTip(help);
    if (m_photos.isEmpty()) {
        setTitle(help);
        setEnabled(false);
        menuAction()->setEnabled(false);
    }

    // The window is looked up when the entry is chosen: the menu may outlive the widget it opened from.
    const QPointer<QWidget> owner = parent;
    const auto addPrint = [&](const QString& title, std::optional<PrintPaperFormat> paper) {
        QAction* action = addAction(title);
        action->setToolTip(help);
        action->setStatusTip(help);
        action->setEnabled(!m_photos.isEmpty());
        connect(action, &QAction::triggered, this, [photos = m_photos, paper, owner] {
            // After the menu has closed, and out of its hands: the caller may delete it meanwhile.
            QTimer::singleShot(0, qApp, [photos, paper, owner] { PhotoPrinter::print(photos, paper, owner ? owner->window() : nullptr); });
        });
    };
    for (const PrintPaperFormat paper : allPrintPaperFormats) addPrint(menuTitle(paper), paper);
    addSeparator();
    addPrint(QStringLiteral("Panneau d’impression…"), std::nullopt);
}

QMenu* PrintPhotosMenu::create(const QStringList& files, QWidget* parent)
{
    return new PrintPhotosMenu(files, QStringLiteral("Imprimer en pleine résolution"), parent);
}

} // namespace tavrin
