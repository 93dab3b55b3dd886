#include "demo/DemoCompetition.h"

#include "base/AppSupport.h"
#include "base/Error.h"
#include "base/JsonFile.h"
#include "base/UserDefaults.h"
#include "editing/RetouchBridges.h"
#include "library/LibraryStore.h"
#include "handover/HandOverArchive.h"
#include "orders/OrdersStore.h"
#include "organizer/PhotoCopier.h"
#include "organizer/RiderFoldersStore.h"
#include "organizer/WorkspaceStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <QtConcurrent/QtConcurrentMap>

#include <vips/vips8>

#include <atomic>

#include <unistd.h>

namespace tavrin::DemoCompetition {

namespace {

const QString kReadMeTitle = QStringLiteral("Compétition de démonstration Tavrin");
const QString kDayName = QStringLiteral("Samedi");

struct Rider {
    QString number; // as printed in the programme
    QString lastName;
    QString firstName;
    QString horse;
};

struct Event {
    QString title;
    QList<Rider> riders;
};

// The programme of the weekend: two events on Saturday (photographed), one on Sunday.
const QList<Event>& saturday()
{
    static const QList<Event> events{
        {QStringLiteral("Épreuve 1 – Préparatoire (1,00 m)"),
         {{QStringLiteral("12"), QStringLiteral("BERTIN"), QStringLiteral("Camille"), QStringLiteral("Quartz du Val")},
          {QStringLiteral("15"), QStringLiteral("LEROY"), QStringLiteral("Hugo"), QStringLiteral("Ulysse des Prés")},
          {QStringLiteral("21"), QStringLiteral("FONTAINE"), QStringLiteral("Léa"), QStringLiteral("Vanille")},
          {QStringLiteral("27"), QStringLiteral("DE LA TOUR"), QStringLiteral("Marie"), QStringLiteral("Tornade")},
          {QStringLiteral("33"), QStringLiteral("MOREAU"), QStringLiteral("Jules"), QStringLiteral("Saphir")},
          {QStringLiteral("38"), QStringLiteral("GARNIER"), QStringLiteral("Inès"), QStringLiteral("Orphée")}}},
        {QStringLiteral("Épreuve 2 – Grand Prix (1,20 m)"),
         {{QStringLiteral("104"), QStringLiteral("CARON"), QStringLiteral("Théo"), QStringLiteral("Bijou")},
          {QStringLiteral("108"), QStringLiteral("LAMBERT"), QStringLiteral("Chloé"), QStringLiteral("Rubis")},
          {QStringLiteral("112"), QStringLiteral("ROUSSEL"), QStringLiteral("Nathan"), QStringLiteral("Éclair")},
          {QStringLiteral("115"), QStringLiteral("GIRARD"), QStringLiteral("Emma"), QStringLiteral("Nuage")},
          {QStringLiteral("119"), QStringLiteral("PERRIN"), QStringLiteral("Lucas"), QStringLiteral("Talisman")},
          {QStringLiteral("123"), QStringLiteral("FAURE"), QStringLiteral("Manon"), QStringLiteral("Olympe")}}},
    };
    return events;
}

const Event& sunday()
{
    static const Event event{QStringLiteral("Épreuve 3 – Grand Prix (1,30 m)"),
                             {{QStringLiteral("201"), QStringLiteral("BERTIN"), QStringLiteral("Camille"), QStringLiteral("Quartz du Val")},
                              {QStringLiteral("204"), QStringLiteral("CARON"), QStringLiteral("Théo"), QStringLiteral("Bijou")},
                              {QStringLiteral("207"), QStringLiteral("MARCHAND"), QStringLiteral("Zoé"), QStringLiteral("Calypso")},
                              {QStringLiteral("210"), QStringLiteral("LEROY"), QStringLiteral("Hugo"), QStringLiteral("Ulysse des Prés")}}};
    return event;
}

// One row of notes: the first photo of a round and the number typed for it. Each row owns four
// photos, from DSC_0101.JPG on.
struct Note {
    QString photoNumber;
    QString assignedNumber;
    QString label; // the rider as shown on the photos
};

struct Sheet {
    QString title;
    int event;      // index in saturday()
    QString folder; // its photos, one card per event as photographers download them
    QList<Note> notes;
};

constexpr int firstPhoto = 101;
constexpr int photosPerRider = 4;

// A late entry missing from the programme, named by hand in the workspace.
const Rider kLateEntry{QStringLiteral("131"), QStringLiteral("NOËL"), QStringLiteral("Sarah"), {}};

QList<Sheet> sheets()
{
    const auto label = [](const Rider& r) -> QString { return r.lastName + u' ' + r.firstName + QStringLiteral(" · n° ") + r.number; };
    const auto notes = [&](int event, const QList<int>& riders, int photo) {
        QList<Note> list;
        for (int index : riders) {
            const Rider& r = saturday()[event].riders[index];
            list.push_back({QStringLiteral("%1").arg(photo, 4, 10, QChar(u'0')), r.number, label(r)});
            photo += photosPerRider;
        }
        return list;
    };
    Sheet first{QStringLiteral("Épreuve 1 – Préparatoire"), 0, QStringLiteral("Épreuve 1"), notes(0, {0, 1, 2, 3, 4}, firstPhoto)};
    Sheet second{QStringLiteral("Épreuve 2 – Grand Prix"), 1, QStringLiteral("Épreuve 2"),
                 notes(1, {0, 1, 2, 3}, firstPhoto + 5 * photosPerRider)};
    // Typed as phones do for a rider outside the ranking; the canonical number still matches.
    second.notes[2].assignedNumber += QStringLiteral(" HC");
    second.notes.push_back({QStringLiteral("%1").arg(firstPhoto + 9 * photosPerRider, 4, 10, QChar(u'0')), kLateEntry.number,
                            label(kLateEntry)});
    return {first, second};
}

QString photoName(int number) { return QStringLiteral("DSC_%1.JPG").arg(number, 4, 10, QChar(u'0')); }

// A few photos were taken with the camera turned, as at every show: their pixels are stored
// turned and the EXIF orientation says how to show them.
int orientationOf(int number)
{
    switch (number) {
    case 103: return 6;
    case 110: return 8;
    case 124: return 3;
    case 131: return 6;
    default: return 1;
    }
}

// ---- Programme workbook -------------------------------------------------------------------

QString xmlEscaped(QString text)
{
    return text.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"))
        .replace(u'"', QStringLiteral("&quot;"));
}

QString columnName(int index)
{
    QString name;
    for (++index; index > 0; index = (index - 1) / 26) name.prepend(QChar(u'A' + (index - 1) % 26));
    return name;
}

QByteArray worksheetXml(const QList<QStringList>& rows)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                 "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>");
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QString number = QString::number(r + 1);
        xml += QStringLiteral("<row r=\"") + number + QStringLiteral("\">");
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            const QString& value = rows[r][c];
            if (value.isEmpty()) continue;
            const QString ref = columnName(int(c)) + number;
            bool isNumber = false;
            value.toLongLong(&isNumber);
            if (isNumber)
                xml += QStringLiteral("<c r=\"") + ref + QStringLiteral("\"><v>") + value + QStringLiteral("</v></c>");
            else
                xml += QStringLiteral("<c r=\"") + ref + QStringLiteral("\" t=\"inlineStr\"><is><t>") + xmlEscaped(value)
                    + QStringLiteral("</t></is></c>");
        }
        xml += QStringLiteral("</row>");
    }
    xml += QStringLiteral("</sheetData></worksheet>");
    return xml.toUtf8();
}

QList<QStringList> eventRows(const Event& event)
{
    QList<QStringList> rows{{event.title}};
    for (const Rider& r : event.riders) rows.push_back({r.number, r.lastName, r.firstName, r.horse});
    return rows;
}

// A workbook as spreadsheet programs write it, with inline strings and stored (uncompressed)
// parts: small enough not to need deflating.
QByteArray programmeWorkbook()
{
    const QStringList header{QStringLiteral("N°"), QStringLiteral("Nom"), QStringLiteral("Prénom"), QStringLiteral("Cheval")};
    QList<QStringList> saturdayRows{{QStringLiteral("CSO de démonstration – Samedi 12 décembre")}, header};
    for (const Event& event : saturday()) saturdayRows += eventRows(event) << QStringList();
    QList<QStringList> sundayRows{{QStringLiteral("CSO de démonstration – Dimanche 13 décembre")}, header};
    sundayRows += eventRows(sunday());

    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/";
    const QList<std::pair<QString, QByteArray>> parts{
        {QStringLiteral("[Content_Types].xml"),
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Types " + ns + "package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet2.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "</Types>"},
        {QStringLiteral("_rels/.rels"),
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships " + ns + "package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"xl/workbook.xml\"/></Relationships>"},
        {QStringLiteral("xl/workbook.xml"),
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<workbook " + ns + "spreadsheetml/2006/main\" "
         "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
         "<sheet name=\"Samedi\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Dimanche\" sheetId=\"2\" r:id=\"rId2\"/>"
         "</sheets></workbook>"},
        {QStringLiteral("xl/_rels/workbook.xml.rels"),
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships " + ns + "package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
         "Target=\"worksheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
         "Target=\"worksheets/sheet2.xml\"/></Relationships>"},
        {QStringLiteral("xl/worksheets/sheet1.xml"), worksheetXml(saturdayRows)},
        {QStringLiteral("xl/worksheets/sheet2.xml"), worksheetXml(sundayRows)},
    };

    // A fixed date keeps the file identical from one demonstration to the next.
    const QDateTime modified(QDate(2026, 12, 12), QTime(8, 0));
    QList<HandOverArchive::Entry> entries;
    for (const auto& [name, data] : parts)
        entries.push_back({name, data.size(), HandOverArchive::crc32(0, data.constData(), data.size()), modified});
    QByteArray zip;
    for (const HandOverArchive::Segment& segment : HandOverArchive::layout(entries))
        zip += segment.fileIndex >= 0 ? parts[segment.fileIndex].second : segment.bytes;
    return zip;
}

// ---- Photos and watermark -----------------------------------------------------------------

using vips::VImage;

// Light and dark ends of each rider's gradient, so that a rider's photos are told apart at a glance.
const std::vector<std::pair<std::vector<double>, std::vector<double>>>& palette()
{
    static const std::vector<std::pair<std::vector<double>, std::vector<double>>> colours{
        {{120, 180, 230}, {20, 60, 120}},  {{140, 210, 150}, {20, 90, 50}},  {{240, 200, 120}, {150, 80, 20}},
        {{220, 150, 200}, {110, 30, 90}},  {{160, 160, 230}, {40, 40, 120}}, {{120, 210, 210}, {10, 90, 100}},
        {{230, 170, 140}, {130, 50, 30}},  {{200, 210, 120}, {80, 100, 20}}, {{190, 190, 190}, {60, 60, 70}},
        {{240, 150, 150}, {130, 20, 40}},
    };
    return colours;
}

VImage textMask(const QString& text, const char* font)
{
    const QByteArray utf8 = text.toUtf8();
    return VImage::text(utf8.constData(), VImage::option()->set("font", font)->set("dpi", 72));
}

// `mask` (one band, 0–255) drawn over `image` in `colour` at (x, y), blended by its coverage.
// Only the covered stretch is recomputed.
VImage drawn(const VImage& image, const VImage& mask, int x, int y, const std::vector<double>& colour, double opacity = 1.0)
{
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + mask.width(), image.width()), bottom = std::min(y + mask.height(), image.height());
    if (right <= left || bottom <= top) return image;
    VImage cover = mask.crop(left - x, top - y, right - left, bottom - top);
    if (opacity < 1.0) cover = (cover * opacity).cast(VIPS_FORMAT_UCHAR);
    const VImage region = image.crop(left, top, right - left, bottom - top);
    return image.insert(cover.ifthenelse(colour, region, VImage::option()->set("blend", true)), left, top);
}

// What the four photos of a rider share: the rider's gradient, an obstacle pole and a red mark
// in the top-left corner, by which a turned photo is told from an upright one.
VImage background(int rider)
{
    const int w = photoWidth, h = photoHeight;
    const VImage xyz = VImage::xyz(w, h);
    const VImage x = xyz[0], y = xyz[1];
    const auto& [light, dark] = palette()[size_t(rider) % palette().size()];
    std::vector<double> delta(3);
    for (size_t i = 0; i < 3; ++i) delta[i] = dark[i] - light[i];
    VImage image = ((x / double(w) + y / double(h)) * 0.5).linear(delta, light).cast(VIPS_FORMAT_UCHAR);

    // A striped pole across the lower third.
    const int poleTop = h * 7 / 10, poleHeight = h / 28;
    const VImage pole = (x >= w / 6) & (x < w * 5 / 6) & (y >= poleTop) & (y < poleTop + poleHeight);
    const VImage stripe = ((x / 90).floor() % 2) == 0;
    image = (pole & stripe).ifthenelse(std::vector<double>{205, 30, 35}, image);
    image = (pole & (stripe == 0)).ifthenelse(std::vector<double>{245, 245, 245}, image);

    image = ((x < 140) & (y < 140)).ifthenelse(std::vector<double>{220, 35, 35}, image);
    return image.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)).copy_memory();
}

// The photo as the photographer sees it: the photo number written large, the rider below.
VImage uprightPhoto(const VImage& shared, int number, const QString& label)
{
    const int w = shared.width(), h = shared.height();
    VImage image = shared;
    const VImage big = textMask(photoName(number).chopped(4), "DejaVu Sans Bold 220");
    const int bx = (w - big.width()) / 2, by = h / 5;
    image = drawn(image, big.embed(8, 8, big.width() + 16, big.height() + 16).gaussblur(6), bx - 2, by, {0, 0, 0}, 0.55);
    image = drawn(image, big, bx, by, {255, 255, 255});
    const VImage small = textMask(label, "DejaVu Sans Bold 56");
    const int sx = (w - small.width()) / 2, sy = by + big.height() + h / 20;
    image = drawn(image, small.embed(4, 4, small.width() + 8, small.height() + 8).gaussblur(3), sx - 1, sy, {0, 0, 0}, 0.55);
    image = drawn(image, small, sx, sy, {255, 255, 255});
    return image;
}

// When the camera took a photo, as a show goes: each event starts at its hour, a rider enters the
// ring every 70 to 100 s, and the photographer shoots one burst of frames 0.15 s apart over a
// fence some 25 to 35 s into the round. « Proposer les lignes » finds the rounds from these.
QDateTime captureTime(int sheet, int round, int frame)
{
    QDateTime time(QDate(2026, 6, 13), QTime(9, 30).addSecs(sheet * 4 * 3600));
    for (int i = 0; i < round; ++i) time = time.addSecs(70 + (i * 17 + sheet * 11) % 31);
    return time.addSecs(25 + (round % 3) * 5).addMSecs(frame * 150);
}

void writePhoto(const QString& path, const VImage& shared, int number, const QString& label, const QDateTime& taken)
{
    VImage image = uprightPhoto(shared, number, label);
    const int orientation = orientationOf(number);
    // Stored as the camera wrote it: turned the other way from what the tag asks for.
    if (orientation == 6) image = image.rot270();
    else if (orientation == 8) image = image.rot90();
    else if (orientation == 3) image = image.rot180();
    image = image.copy();
    image.set("orientation", orientation);
    // Written into the EXIF block as the camera does: the date, then its milliseconds apart.
    image.set("exif-ifd2-DateTimeOriginal", taken.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1().constData());
    image.set("exif-ifd2-SubSecTimeOriginal", QByteArray::number(taken.time().msec()).rightJustified(3, '0').constData());
    image.jpegsave(QFile::encodeName(path).constData(), VImage::option()->set("Q", 85));
}

void writeWatermark(const QString& path)
{
    const VImage text = textMask(QStringLiteral("TAVRIN · DÉMO"), "DejaVu Sans Bold 96");
    const int pad = 24;
    const VImage mask = text.embed(pad, pad, text.width() + 2 * pad, text.height() + 2 * pad);
    // White letters over a soft dark halo read on light and dark photos alike.
    const VImage letters = mask * 0.85, halo = mask.gaussblur(5) * 0.5;
    const VImage alpha = (letters > halo).ifthenelse(letters, halo).cast(VIPS_FORMAT_UCHAR);
    const VImage rgba = mask.bandjoin(mask).bandjoin(mask)
                            .bandjoin(alpha)
                            .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    rgba.pngsave(QFile::encodeName(path).constData());
}

// ---- The data folder ----------------------------------------------------------------------

void writeFile(const QString& path, const QByteArray& data)
{
    if (!writeFileAtomically(path, data))
        throw Error(QStringLiteral("Impossible d’écrire « ") + QFileInfo(path).fileName() + QStringLiteral(" »."));
}

void makeFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw Error(QStringLiteral("Impossible de créer le dossier « ") + QFileInfo(path).fileName() + QStringLiteral(" »."));
}

// The photo of that number in the folder of its event.
QString photoPath(const Contents& c, int number)
{
    for (const Sheet& sheet : sheets()) {
        const int first = sheet.notes.first().photoNumber.toInt();
        if (number >= first && number < first + int(sheet.notes.size()) * photosPerRider)
            return c.photosFolder + u'/' + sheet.folder + u'/' + photoName(number);
    }
    return c.photosFolder + u'/' + photoName(number);
}

QString eventID(int event) { return kDayName + u'|' + saturday()[event].title; }

void writeLibraryAndWorkspace(const Contents& c)
{
    LibraryStore library;
    const DayRecord day = library.addDay(QStringLiteral("Samedi 12 décembre"));
    // The newest spreadsheet is listed first: the first event is added last, a moment later.
    QList<Sheet> notes = sheets();
    QList<QUuid> ids(notes.size());
    for (qsizetype i = notes.size() - 1; i >= 0; --i) {
        const SpreadsheetRecord sheet = library.addSpreadsheet(day.id, notes[i].title);
        QList<LibraryStore::RowPatch> patches;
        for (const Note& note : notes[i].notes) patches.push_back({note.photoNumber, note.assignedNumber});
        library.updateRows(sheet.id, sheet.rows.first().id, patches);
        ids[i] = sheet.id;
        if (i > 0) QThread::msleep(5);
    }
    library.updateUIState(day.id, ids.first());
    library.flush();

    WorkspaceStore workspace;
    workspace.ingestProgramme(c.programmeFile);
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const QUuid& id = ids[i];
        workspace.storeFolder(c.photosFolder + u'/' + notes[i].folder, WorkspaceStore::FolderKind::source, id);
        workspace.storeFolder(c.destinationFolder, WorkspaceStore::FolderKind::destination, id);
        workspace.selectDay(kDayName, id);
        const QList<ProgrammeEvent> events = workspace.events(kDayName);
        if (std::none_of(events.begin(), events.end(), [&](const ProgrammeEvent& e) { return e.id == eventID(notes[i].event); }))
            throw Error(QStringLiteral("Le programme de démonstration n’a pas pu être lu."));
        workspace.selectEvent(eventID(notes[i].event), id);
    }
    workspace.setManualRider(ids.last(), kLateEntry.number, kLateEntry.lastName, kLateEntry.firstName);
    workspace.persist();

    RiderFoldersStore riders;
    riders.ingestProgramme(c.programmeFile);
    riders.storeDestination(c.riderFoldersFolder);
    riders.persist();
}

// Two customers' orders: prints to make and files to hand over, copied from the day's photos.
void writeOrders(const Contents& c)
{
    struct Order {
        QString name;
        QList<int> prints, files;
        bool delivered;
    };
    const QList<Order> orders{
        {QStringLiteral("Commande 01 – BERTIN Camille"), {101, 103}, {102, 104}, false},
        {QStringLiteral("Commande 02 – CARON Théo"), {122}, {121, 123, 124}, true},
    };
    QStringList delivered;
    for (const Order& order : orders) {
        const QString folder = c.ordersFolder + u'/' + order.name;
        for (const auto& [section, photos] : {std::pair{QStringLiteral("IMPRESSION A5"), order.prints},
                                              std::pair{QStringLiteral("FICHIERS"), order.files}}) {
            const QString target = folder + u'/' + section;
            makeFolder(target);
            PhotoCopier copier(target);
            for (int number : photos) {
                const QString name = copier.copy(photoPath(c, number));
                if (order.delivered && section == u"FICHIERS") delivered.push_back(target + u'/' + name);
            }
        }
    }

    OrdersStore store;
    store.storeRoot(c.ordersFolder);
    store.addWatermark(c.watermarkFile);
    // The second customer already took the files: they show as handed over.
    store.markDelivered(delivered);
    if (store.errorMessage()) throw Error(*store.errorMessage());
}

QString readMe(const Contents& c)
{
    return kReadMeTitle + QStringLiteral("\n\n")
        + QStringLiteral("Ce dossier a été préparé pour découvrir Tavrin. Il contient :\n"
                                         "- TAVRIN : le dossier de données (bibliothèque, programme, réglages) ;\n"
                                         "- Programme : le programme du concours, tel qu’un organisateur l’envoie ;\n"
                                         "- Photos : les %1 photos de la journée, un dossier par épreuve ;\n"
                                         "- Cavaliers : où les tableurs rangent les photos, un dossier par cavalier ;\n"
                                         "- Paniers : où préparer les dossiers vides des cavaliers ;\n"
                                         "- Commandes : deux commandes de clients ;\n"
                                         "- Filigrane.png : le filigrane des commandes.\n\n"
                                         "Pour l’ouvrir : tavrin --data-dir \"%2\"\n"
                                         "Vos propres données ne sont jamais touchées. Supprimez ce dossier quand "
                                         "vous n’en avez plus besoin.\n")
                           .arg(photoCount)
                           .arg(c.dataFolder);
}

void build(const Contents& c)
{
    for (const QString& folder : {c.dataFolder, QFileInfo(c.programmeFile).path(), c.photosFolder, c.destinationFolder,
                                  c.riderFoldersFolder, c.ordersFolder})
        makeFolder(folder);
    writeFile(c.programmeFile, programmeWorkbook());

    RetouchBridges::ensureVips();
    struct Round {
        int rider;
        Note note;
        int sheet;
        int index; // in its event
    };
    QList<Round> rounds;
    const QList<Sheet> notes = sheets();
    for (int i = 0; i < notes.size(); ++i) {
        makeFolder(c.photosFolder + u'/' + notes[i].folder);
        for (const Note& note : notes[i].notes) {
            const int index = int(std::count_if(rounds.begin(), rounds.end(), [i](const Round& r) { return r.sheet == i; }));
            rounds.push_back({int(rounds.size()), note, i, index});
        }
    }
    // One rider's photos per task: each pipeline is short, so the cores are better used side by side.
    std::atomic_bool failed{false};
    QtConcurrent::blockingMap(rounds, [&](const Round& round) {
        try {
            const VImage shared = background(round.rider);
            const int start = round.note.photoNumber.toInt();
            for (int n = start; n < start + photosPerRider && !failed; ++n)
                writePhoto(photoPath(c, n), shared, n, round.note.label, captureTime(round.sheet, round.index, n - start));
        } catch (const vips::VError&) {
            failed = true;
        }
    });
    try {
        if (!failed) writeWatermark(c.watermarkFile);
    } catch (const vips::VError&) {
        failed = true;
    }
    if (failed) throw Error(QStringLiteral("Impossible de créer les photos de démonstration."));

    AppSupport::setDataDirectoryOverride(c.dataFolder);
    UserDefaults::resetStandard();
    writeLibraryAndWorkspace(c);
    try {
        writeOrders(c);
    } catch (const PhotoCopier::Failure&) {
        throw Error(QStringLiteral("Impossible de copier les photos des commandes."));
    }
    writeFile(c.readMeFile, readMe(c).toUtf8());
}

bool isEmptyFolder(const QString& path)
{
    return QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

// Only what this attempt made is there: the folder was missing or empty.
void removeAttempt(const QString& folder, bool created)
{
    if (created) {
        QDir(folder).removeRecursively();
        return;
    }
    const QDir dir(folder);
    for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (entry.isDir() && !entry.isSymLink()) QDir(entry.filePath()).removeRecursively();
        else QFile::remove(entry.filePath());
    }
}

} // namespace

Contents layout(const QString& folder)
{
    const QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    Contents c;
    c.folder = root;
    c.dataFolder = root + QStringLiteral("/TAVRIN");
    c.programmeFile = root + QStringLiteral("/Programme/CSO de démonstration.xlsx");
    c.photosFolder = root + QStringLiteral("/Photos");
    c.destinationFolder = root + QStringLiteral("/Cavaliers");
    c.riderFoldersFolder = root + QStringLiteral("/Paniers");
    c.ordersFolder = root + QStringLiteral("/Commandes");
    c.watermarkFile = root + QStringLiteral("/Filigrane.png");
    c.readMeFile = root + QStringLiteral("/LISEZ-MOI.txt");
    return c;
}

bool exists(const QString& folder)
{
    const Contents c = layout(folder);
    QFile readMe(c.readMeFile);
    if (!readMe.open(QIODevice::ReadOnly)) return false;
    return QString::fromUtf8(readMe.readLine()).trimmed() == kReadMeTitle && QFileInfo(c.dataFolder).isDir();
}

Contents make(const QString& folder)
{
    Contents c = layout(folder);
    const QFileInfo info(c.folder);
    if (exists(c.folder)) {
        c.reused = true;
        AppSupport::setDataDirectoryOverride(c.dataFolder);
        UserDefaults::resetStandard();
        return c;
    }
    if (info.exists() && (!info.isDir() || !isEmptyFolder(c.folder)))
        throw Error(QStringLiteral("Le dossier « ") + c.folder
                    + QStringLiteral(" » n’est pas vide : choisissez un dossier vide ou nouveau pour la démonstration."));
    const bool created = !info.exists();
    try {
        makeFolder(c.folder);
        build(c);
    } catch (...) {
        removeAttempt(c.folder, created);
        throw;
    }
    return c;
}

QString defaultFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/tavrin-demo-")
        + QString::number(::getuid());
    for (int n = 1; n < 100; ++n) {
        const QString candidate = n == 1 ? base : base + u'-' + QString::number(n);
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink()) return candidate;
        // Someone else's folder, or a link, in a shared temporary folder is never used.
        if (info.isDir() && !info.isSymLink() && info.ownerId() == ::getuid() && (exists(candidate) || isEmptyFolder(candidate)))
            return candidate;
    }
    return base + u'-' + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace tavrin::DemoCompetition
