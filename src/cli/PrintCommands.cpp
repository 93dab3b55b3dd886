#include "cli/Cli.h"
#include "printing/PhotoPrinter.h"
#include "printing/PrintCaption.h"
#include "printing/PrintInfoMemory.h"
#include "printing/PrintQueue.h"

#include <cups/ipp.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QPrinter>
#include <QPrinterInfo>

#include <memory>

namespace tavrin::cli {
namespace {

int print(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("paper"), QStringLiteral("printer"), QStringLiteral("pdf"), QStringLiteral("media"), QStringLiteral("media-of"),
                          QStringLiteral("caption"), QStringLiteral("caption-size")});
    if (args.positional().isEmpty()) throw UsageError(QStringLiteral("indiquez au moins une photo"));
    const std::optional<QString> printerName = args.value(QStringLiteral("printer"));
    const std::optional<QString> pdf = args.value(QStringLiteral("pdf"));
    if (bool(printerName) == bool(pdf)) throw UsageError(QStringLiteral("indiquez --printer ou --pdf, l’un des deux"));
    std::optional<PrintPaperFormat> paper;
    if (const std::optional<QString> raw = args.value(QStringLiteral("paper"))) {
        paper = printPaperFormatFromRaw(*raw);
        if (!paper) throw UsageError(QStringLiteral("papier inconnu : %1 (a5, a4, photo10x15, photo13x18 ou photo15x21)").arg(*raw));
    }

    // A size of the printer's own, by the driver's name for it; with --pdf, the queue it belongs to
    // is named by --media-of.
    std::optional<PhotoPrinter::MediaChoice> media;
    if (const std::optional<QString> name = args.value(QStringLiteral("media"))) {
        if (paper) throw UsageError(QStringLiteral("indiquez --paper ou --media, l’un des deux"));
        const QString queue = printerName ? *printerName : args.value(QStringLiteral("media-of")).value_or(QString());
        if (queue.isEmpty()) throw UsageError(QStringLiteral("--media avec --pdf demande --media-of IMPRIMANTE"));
        if (!PrintInfoMemory::printerExists(queue)) throw Error(QStringLiteral("L’imprimante « %1 » est introuvable.").arg(queue));
        const PrinterMediaList list = PrinterMedias::of(queue);
        for (const PrinterMedia& size : list.sizes)
            if (QString::fromLatin1(size.name) == *name) media = PhotoPrinter::MediaChoice{queue, size, list.cut};
        if (!media) throw Error(QStringLiteral("L’imprimante « %1 » n’offre pas le format « %2 ».").arg(queue, *name));
    }

    // The caption as chosen before, or as chosen now (and then remembered, as the panel does).
    CaptionStyle style = PrintCaption::remembered();
    const std::optional<QString> caption = args.value(QStringLiteral("caption")), captionSize = args.value(QStringLiteral("caption-size"));
    if (caption) {
        if (*caption == u"none") style.shown = false;
        else if (*caption == u"under" || *caption == u"over") {
            style.shown = true;
            style.position = *caption == u"over" ? CaptionPosition::over : CaptionPosition::under;
        } else throw UsageError(QStringLiteral("légende inconnue : %1 (under, over ou none)").arg(*caption));
    }
    if (captionSize) {
        bool ok = false;
        const double points = QLocale::c().toDouble(*captionSize, &ok);
        if (!ok || points < PrintCaption::minimumPoints || points > PrintCaption::maximumPoints)
            throw UsageError(QStringLiteral("--caption-size attend une taille en points de 5 à 24"));
        style.points = points;
    }
    if (caption || captionSize) PrintCaption::remember(style);

    QStringList photos;
    for (const QString& file : args.positional()) {
        const QString name = QFileInfo(file).fileName();
        if (PhotoPrinter::photosOf({file}).isEmpty()) printError(QStringLiteral("« %1 » n’est pas une photo : elle n’est pas imprimée.").arg(name));
        else if (!QFileInfo(file).isFile()) printError(QStringLiteral("« %1 » est introuvable : elle n’est pas imprimée.").arg(name));
        else photos.push_back(QFileInfo(file).absoluteFilePath());
    }
    if (photos.isEmpty()) throw Error(QStringLiteral("Aucune photo à imprimer"));

    if (printerName && !PrintInfoMemory::printerExists(*printerName))
        throw Error(QStringLiteral("L’imprimante « %1 » est introuvable.").arg(*printerName));
    // Made for the named queue: a printer made for none looks for the default one among every
    // printer of the system, network ones included, which takes a good part of a second.
    std::unique_ptr<QPrinter> made = printerName ? std::make_unique<QPrinter>(QPrinterInfo::printerInfo(*printerName), QPrinter::HighResolution)
                                                 : std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrinter& printer = *made;
    if (pdf) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(*pdf);
    }
    // The queue named on the command line wins over the one remembered; it is chosen once, as
    // choosing a printer takes a while.
    if (printerName) {
        PrintInfoMemory::restoreSharedIfNeeded();
        PrintInfoMemory::shared().printerName = *printerName;
    }
    if (media) PhotoPrinter::configure(printer, photos, *media);
    else PhotoPrinter::configure(printer, photos, paper);
    if (printerName && printer.printerName() != *printerName) printer.setPrinterName(*printerName);

    int status = 0;
    ProgressBar bar;
    PhotoPrinter::RenderProgress progress;
    progress.pageDone = [&](int done, int total) { bar.update(done, total, QStringLiteral("pages")); };
    progress.unreadable = [&](const QString& photo) {
        bar.message(QStringLiteral("« %1 » est illisible : sa page reste blanche.").arg(QFileInfo(photo).fileName()));
        status = 1;
    };
    PhotoPrinter::Captions captions{style, {}};
    if (style.shown) captions.texts = PrintCaption::textsFor(photos, PrintCaption::currentSources());
    const PhotoPrinter::JobResult job = PhotoPrinter::printJob(printer, photos, progress, media, captions);
    bar.finish();
    // A PDF is a proof, not a print: the printer remembered stays the photographer's own.
    if (!pdf) {
        PrintInfoMemory::remember(printer);
        // The queue has every page; a printer that is stopped prints none of them yet.
        const PrintQueue::PrinterState device = PrintQueue::printerState(*printerName);
        const PrintQueue::JobState state = PrintQueue::jobState(job.job);
        if (state.found && (state.state == IPP_JSTATE_CANCELED || state.state == IPP_JSTATE_ABORTED)) {
            throw Error(QStringLiteral("L’imprimante « %1 » a abandonné l’impression (%2).").arg(*printerName, device.why()));
        } else if (device.stopped()) {
            printError(QStringLiteral("L’imprimante « %1 » est arrêtée (%2) : l’impression attend dans sa file, les photos ne sont pas marquées livrées.")
                           .arg(*printerName, device.why()));
            status = 1;
        } else if (!device.printsToFile()) {
            // A queue writing into a file makes a proof, not a print.
            PhotoPrinter::markPrinted(job.taken);
        }
    }
    return status;
}

int printerMedia(const QStringList& raw)
{
    const Args args(raw, {QStringLiteral("printer")});
    const QString printer = args.required(QStringLiteral("printer"));
    if (!PrintInfoMemory::printerExists(printer)) throw Error(QStringLiteral("L’imprimante « %1 » est introuvable.").arg(printer));
    const PrinterMediaList list = PrinterMedias::of(printer);
    QJsonArray sizes;
    for (const PrinterMedia& media : list.sizes) {
        QJsonObject size{{QStringLiteral("name"), QString::fromLatin1(media.name)},
                         {QStringLiteral("label"), media.label},
                         {QStringLiteral("title"), media.title()},
                         {QStringLiteral("width"), media.paper.width()},
                         {QStringLiteral("height"), media.paper.height()},
                         {QStringLiteral("borderless"), media.borderless},
                         {QStringLiteral("prints"), media.prints}};
        sizes.push_back(size);
    }
    QJsonObject out{{QStringLiteral("sizes"), sizes}};
    if (!list.cut.first.isEmpty())
        out.insert(QStringLiteral("cut"), QJsonObject{{QStringLiteral("option"), QString::fromLatin1(list.cut.first)},
                                                      {QStringLiteral("value"), QString::fromLatin1(list.cut.second)}});
    printJson(out);
    return 0;
}

const Registration printCommand{{QStringLiteral("print"),
                                 QStringLiteral("print PHOTO… [--paper a5|a4|photo10x15|photo13x18|photo15x21 | --media FORMAT [--media-of IMPRIMANTE]] (--printer NOM | --pdf SORTIE.pdf)"),
                                 QStringLiteral("Imprime une photo par feuille, en pleine résolution (deux par feuille coupée)."), print}};
const Registration printerMediaCommand{{QStringLiteral("printer-media"), QStringLiteral("printer-media --printer NOM"),
                                        QStringLiteral("Les formats propres à l’imprimante et son option de coupe."), printerMedia}};

} // namespace
} // namespace tavrin::cli
