#pragma once

// Memory cards: a mounted volume holding DCIM/. Importing one copies into the reception folder
// every photo not received yet (a photo of the same name, size and capture time already there),
// each whole or not at all; nothing on the card is ever changed.

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tavrin {

struct CardPhoto {
    QString source;       // on the card
    QString relativePath; // in the reception folder
};

struct CardPlan {
    QString label; // the volume's name, « NIKON D5 »
    QList<CardPhoto> toCopy;
    qint64 photoCount = 0;   // photos on the card, a RAW and its JPEG once
    qint64 alreadyThere = 0; // files already received
    int newSeries = 0;       // DCIM folders holding something new

    // « Importer la carte « NIKON D5 » (1 236 photos, 2 nouvelles séries) ».
    QString offer() const;
};

struct CardImportResult {
    QStringList copied; // relative paths in the reception folder
    QString problem;    // French, empty when every photo was copied
};

namespace CardImport {

// The volume's DCIM folder holds something.
bool isCard(const QString& mountPoint);
// What an import would copy. Throws Error with the French reason when the card cannot be read.
CardPlan plan(const QString& mountPoint, const QString& receptionFolder);
// Copies the plan's photos; `progress` after each one (done, total), `copied` with each photo
// as soon as it is whole in the reception folder (its backup can start while the next one is
// copied). Stops at the first failure (a card pulled out) with no partial file left.
CardImportResult run(const CardPlan& plan, const QString& receptionFolder,
                     const std::function<void(qsizetype, qsizetype)>& progress = {},
                     const std::function<void(const QString& relativePath)>& copied = {});

// Mount points of the mount table text (/proc/self/mountinfo), escapes undone.
QStringList mountPoints(const QByteArray& mountinfo);

} // namespace CardImport
} // namespace tavrin
