#include "printing/views/PrintPhotosMenu.h"

#include "printing/PhotoPrinter.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintPaperFormat.h"
#include "printing/PrinterMedia.h"
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

    // The photo printer's own sizes: its borderless ones and its sheets cut in two.
    PrintInfoMemory::restoreSharedIfNeeded();
    QString printer = PrintInfoMemory::shared().printerName;
    // Asked of the server itself: Qt would list every printer of the network first.
    if (printer.isEmpty()) printer = PrinterMedias::defaultPrinter();
    const PrinterMediaList list = printer.isEmpty() ? PrinterMediaList{} : PrinterMedias::of(printer);
    const bool photoPrinter = std::any_of(list.sizes.begin(), list.sizes.end(), [](const PrinterMedia& m) { return m.borderless || m.prints > 1; });
    if (photoPrinter) {
        addSection(QStringLiteral("Imprimante « %1 »").arg(printer));
        QStringList titles;
        for (const PrinterMedia& media : list.sizes) titles << media.title();
        for (qsizetype i = 0; i < list.sizes.size(); ++i) {
            const PrinterMedia& media = list.sizes[i];
            // Two sizes of one name apart by the driver's own labels.
            const QString title = titles.count(titles[i]) > 1 && !media.label.isEmpty() ? titles[i] + QStringLiteral(" (") + media.label + u')' : titles[i];
            QAction* action = addAction(title);
            action->setToolTip(media.prints > 1 ? QStringLiteral("Deux photos d’une commande par feuille, coupée en deux par l’imprimante") : help);
            action->setStatusTip(action->toolTip());
            action->setEnabled(!m_photos.isEmpty());
            const PhotoPrinter::MediaChoice choice{printer, media, list.cut};
            connect(action, &QAction::triggered, this, [photos = m_photos, choice, owner] {
                QTimer::singleShot(0, qApp, [photos, choice, owner] { PhotoPrinter::print(photos, choice, owner ? owner->window() : nullptr); });
            });
        }
        if (const QString left = PrintSession::suppliesLeft(printer); !left.isEmpty()) addAction(left)->setEnabled(false);
        addSeparator();
    }
    addPrint(QStringLiteral("Panneau d’impression…"), std::nullopt);
}

QMenu* PrintPhotosMenu::create(const QStringList& files, QWidget* parent)
{
    return new PrintPhotosMenu(files, QStringLiteral("Imprimer en pleine résolution"), parent);
}

} // namespace tavrin
