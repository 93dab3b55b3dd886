#include "printing/PrinterMedia.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryFile>

// The driver's description is read with the print system's own reader; it is the only place where
// the dye-sub drivers say which sizes are cut in two.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>

#include <cmath>
#include <optional>

namespace tavrin {

namespace {

// Trade names of photo sizes are whole centimetres (4 × 6 inches is « 10 × 15 cm »).
QString centimetres(QSizeF points)
{
    const auto cm = [](double pt) { return qRound(pt / 72 * 2.54); };
    int a = cm(points.width()), b = cm(points.height());
    if (a > b) std::swap(a, b);
    return QStringLiteral("%1 × %2 cm").arg(a).arg(b);
}

// Inches as the drivers label their sizes ("4x6", "3.5x5*2"), in points.
std::optional<QSizeF> labelInches(const QString& label)
{
    static const QRegularExpression inches(QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*x\\s*(\\d+(?:\\.\\d+)?)\\s*(\\*\\s*\\d+)?\\s*$"));
    const QRegularExpressionMatch m = inches.match(label);
    if (!m.hasMatch()) return std::nullopt;
    return QSizeF(m.captured(1).toDouble() * 72, m.captured(2).toDouble() * 72);
}

// The nominal sheet: from the driver keyword ("w432h576…" in points), else from a single print's
// label, else its paper (which the drivers make larger by what bleeds off).
QSizeF nominal(const PrinterMedia& media)
{
    static const QRegularExpression size(QStringLiteral("^w(\\d+)h(\\d+)"));
    const QRegularExpressionMatch m = size.match(QString::fromLatin1(media.name));
    if (m.hasMatch()) return {m.captured(1).toDouble(), m.captured(2).toDouble()};
    if (media.prints <= 1)
        if (const std::optional<QSizeF> inches = labelInches(media.label)) return *inches;
    return media.paper;
}

// Whether the sheet's prints lie side by side across its width ("2x6*2" on a 4 × 6 sheet) rather
// than one above the other ("4x6*2" on a 6 × 8 sheet), from the driver's label when it says.
bool splitAcrossWidth(const PrinterMedia& media)
{
    const QSizeF sheet = nominal(media);
    if (const std::optional<QSizeF> print = labelInches(media.label)) {
        const double a = print->width(), b = print->height();
        const auto near = [](double x, double y) { return std::abs(x - y) < 9; };
        const double halfWidth = sheet.width() / media.prints;
        return (near(a, halfWidth) && near(b, sheet.height())) || (near(b, halfWidth) && near(a, sheet.height()));
    }
    return sheet.width() > sheet.height();
}

QSizeF printSize(const PrinterMedia& media)
{
    const QSizeF sheet = nominal(media);
    if (media.prints <= 1) return sheet;
    return splitAcrossWidth(media) ? QSizeF(sheet.width() / media.prints, sheet.height()) : QSizeF(sheet.width(), sheet.height() / media.prints);
}

QMutex cacheMutex;
QHash<QString, PrinterMediaList>& cache()
{
    static QHash<QString, PrinterMediaList> lists;
    return lists;
}

// The sizes of the queue's media database, in hundredths of a millimetre.
QList<QSize> databaseSizes(const QString& printer, bool* found)
{
    QList<QSize> sizes;
    *found = false;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), nullptr);
    if (!dest) return sizes;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        *found = true;
        const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest, info, CUPS_MEDIA_FLAGS_DEFAULT);
        for (int i = 0; i < count; ++i) {
            cups_size_t size;
            if (cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest, info, i, CUPS_MEDIA_FLAGS_DEFAULT, &size)) sizes << QSize(size.width, size.length);
        }
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return sizes;
}

} // namespace

QString PrinterMedia::title() const
{
    if (prints > 1) return QStringLiteral("%1 × %2 sur %3").arg(prints).arg(centimetres(printSize(*this)), centimetres(nominal(*this)));
    return centimetres(nominal(*this)) + (borderless ? QStringLiteral(" sans marge") : QString());
}

QList<QRectF> PrinterMedia::cells() const
{
    if (prints <= 1) return {printable};
    QList<QRectF> cells;
    const bool across = splitAcrossWidth(*this);
    for (int i = 0; i < prints; ++i) {
        if (across) {
            const double w = printable.width() / prints;
            cells << QRectF(printable.x() + i * w, printable.y(), w, printable.height());
        } else {
            const double h = printable.height() / prints;
            cells << QRectF(printable.x(), printable.y() + i * h, printable.width(), h);
        }
    }
    return cells;
}

namespace PrinterMedias {

int printsOnSheet(const QByteArray& name)
{
    static const QRegularExpression div(QStringLiteral("-div(\\d+)$"));
    const QString text = QString::fromLatin1(name);
    if (const QRegularExpressionMatch m = div.match(text); m.hasMatch()) return std::max(1, m.captured(1).toInt());
    // Two sizes joined ("w432h576-w432h432_w432h144"): a 6 × 6 and a 2 × 6 on one sheet.
    if (text.contains(u'_') && text.indexOf(u'-') > 0) return 0;
    return 1;
}

QByteArray cutValue(const QString& keyword, const QString& text)
{
    static const QRegularExpression negative(QStringLiteral("\\b(no|disable|disabled|off|without)\\b|^StpNo|NoCut"),
                                             QRegularExpression::CaseInsensitiveOption);
    return negative.match(text).hasMatch() || negative.match(keyword).hasMatch() ? "False" : "True";
}

QList<QStringList> sheetsOf(const QStringList& photos, int prints)
{
    QList<QStringList> sheets;
    if (prints <= 1) {
        for (const QString& photo : photos) sheets << QStringList{photo};
        return sheets;
    }
    // The order folder: photos lie in ORDER/SECTION/photo.
    const auto order = [](const QString& photo) { return QFileInfo(QFileInfo(photo).absolutePath()).absolutePath(); };
    QStringList orders;
    QHash<QString, QStringList> byOrder;
    for (const QString& photo : photos) {
        const QString key = order(photo);
        if (!byOrder.contains(key)) orders << key;
        byOrder[key] << photo;
    }
    for (const QString& key : orders) {
        const QStringList& own = byOrder[key];
        for (qsizetype i = 0; i < own.size(); i += prints) sheets << own.mid(i, prints);
    }
    return sheets;
}

PrinterMediaList fromDescription(const QString& ppdFile)
{
    PrinterMediaList list;
    ppd_file_t* ppd = ppdOpenFile(QFile::encodeName(ppdFile).constData());
    if (!ppd) return list;
    ppd_option_t* pageSize = ppdFindOption(ppd, "PageSize");
    for (int i = 0; i < ppd->num_sizes; ++i) {
        const ppd_size_t& size = ppd->sizes[i];
        PrinterMedia media;
        media.name = size.name;
        media.prints = printsOnSheet(media.name);
        if (media.prints == 0 || media.prints > 2 || media.name.startsWith("Custom")) continue;
        if (ppd_choice_t* choice = pageSize ? ppdFindChoice(pageSize, size.name) : nullptr) media.label = QString::fromUtf8(choice->text);
        media.paper = QSizeF(size.width, size.length);
        // The description's margins are counted from the bottom-left corner.
        media.printable = QRectF(size.left, size.length - size.top, size.right - size.left, size.top - size.bottom);
        media.borderless = size.left < 0.5 && size.bottom < 0.5 && std::abs(size.right - size.width) < 0.5 && std::abs(size.top - size.length) < 0.5;
        list.sizes << media;
    }
    // The cut option: a yes-or-no option about cutting.
    for (int g = 0; g < ppd->num_groups && list.cut.first.isEmpty(); ++g) {
        const ppd_group_t& group = ppd->groups[g];
        for (int o = 0; o < group.num_options; ++o) {
            const ppd_option_t& option = group.options[o];
            const QString keyword = QString::fromUtf8(option.keyword);
            if (!keyword.contains(QStringLiteral("cut"), Qt::CaseInsensitive) || option.num_choices != 2) continue;
            list.cut = {QByteArray(option.keyword), cutValue(keyword, QString::fromUtf8(option.text))};
            break;
        }
    }
    ppdClose(ppd);
    return list;
}

PrinterMediaList of(const QString& printer)
{
    {
        const QMutexLocker lock(&cacheMutex);
        if (const auto it = cache().constFind(printer); it != cache().constEnd()) return *it;
    }
    PrinterMediaList list;
    bool found = false;
    const QList<QSize> database = databaseSizes(printer, &found);
    if (!found) return list;
    char path[1024] = "";
    time_t modified = 0;
    if (cupsGetPPD3(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), &modified, path, sizeof path) == HTTP_STATUS_OK) {
        const PrinterMediaList described = fromDescription(QString::fromLocal8Bit(path));
        QFile::remove(QString::fromLocal8Bit(path));
        list.cut = described.cut;
        // What the server offers, as the driver names it: a described size the database has.
        for (const PrinterMedia& media : described.sizes) {
            const QSize hundredths(qRound(media.paper.width() / 72 * 2540), qRound(media.paper.height() / 72 * 2540));
            for (const QSize& size : database)
                if (std::abs(size.width() - hundredths.width()) <= 50 && std::abs(size.height() - hundredths.height()) <= 50) {
                    list.sizes << media;
                    break;
                }
        }
    }
    if (list.sizes.isEmpty()) {
        // A queue without a driver description: the database's sizes as they are.
        for (const QSize& size : database) {
            PrinterMedia media;
            media.paper = QSizeF(size.width() / 2540.0 * 72, size.height() / 2540.0 * 72);
            media.name = QStringLiteral("Custom.%1x%2mm").arg(qRound(size.width() / 100.0)).arg(qRound(size.height() / 100.0)).toLatin1();
            media.printable = QRectF(QPointF(0, 0), media.paper);
            list.sizes << media;
        }
    }
    const QMutexLocker lock(&cacheMutex);
    cache().insert(printer, list);
    return list;
}

QString defaultPrinter()
{
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!dest) return {};
    const QString name = QString::fromUtf8(dest->name);
    cupsFreeDests(1, dest);
    return name;
}

void preset(const QString& printer, const PrinterMediaList& list)
{
    const QMutexLocker lock(&cacheMutex);
    cache().insert(printer, list);
}

void forgetForTesting()
{
    const QMutexLocker lock(&cacheMutex);
    cache().clear();
}

} // namespace PrinterMedias

} // namespace tavrin

#pragma GCC diagnostic pop
