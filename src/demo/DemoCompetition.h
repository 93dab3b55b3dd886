#pragma once

// A complete competition to try Tavrin on, made in a folder of its own: a data folder whose
// library, programme, workspace, rider-folder and orders files are written by the stores
// themselves, a programme workbook, a folder of generated photos, two customer orders and a
// watermark. Nothing outside that folder is read or written.

#include <QString>

namespace tavrin::DemoCompetition {

// Where each part lies inside a demonstration folder.
struct Contents {
    QString folder;
    QString dataFolder;        // folder/TAVRIN: give it to --data-dir
    QString programmeFile;     // the workbook as an organiser would send it
    QString photosFolder;      // the photos of the day, one folder per event: DSC_0101.JPG …
    QString destinationFolder; // where the spreadsheets' photos are organised
    QString riderFoldersFolder;
    QString ordersFolder;      // the orders root
    QString watermarkFile;
    QString readMeFile;        // written last: its presence marks a finished demonstration
    bool reused = false;       // true when the folder already held one and nothing was written
};

inline constexpr int photoCount = 40;
inline constexpr int photoWidth = 1600;
inline constexpr int photoHeight = 1067;

Contents layout(const QString& folder);

// True when the folder holds a finished demonstration.
bool exists(const QString& folder);

// Makes the demonstration in `folder`, which must be missing or empty; a folder that already
// holds a finished one is reused as it is. Throws tavrin::Error with the French reason when the
// folder holds anything else or when a part cannot be made; a failed attempt leaves the folder as
// it found it. The data folder override is left pointing at the demonstration's data folder.
Contents make(const QString& folder);

// A folder of the user's temporary location for `tavrin --demo`: the one already holding a
// demonstration, else the first free one.
QString defaultFolder();

} // namespace tavrin::DemoCompetition
