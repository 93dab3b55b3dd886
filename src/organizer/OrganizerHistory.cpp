#include "organizer/OrganizerHistory.h"

#include "base/JsonRecord.h"
#include "base/TavrinJSON.h"

namespace tavrin {

using namespace TavrinJSON;

namespace {
const QLatin1StringView kId("id"), kSpreadsheetID("spreadsheetID"), kSpreadsheetTitle("spreadsheetTitle"), kDate("date"),
    kHeadline("headline"), kMessages("messages"), kTitle("title"), kEntries("entries");
} // namespace

// The fields of each record, keys in ascending order.
static auto jsonFields(const OrganizerHistoryEntry*)
{
    return std::tuple{JsonRecord::field(kDate, &OrganizerHistoryEntry::date), JsonRecord::field(kHeadline, &OrganizerHistoryEntry::headline),
                      JsonRecord::field(kId, &OrganizerHistoryEntry::id), JsonRecord::field(kMessages, &OrganizerHistoryEntry::messages),
                      JsonRecord::field(kSpreadsheetID, &OrganizerHistoryEntry::spreadsheetID),
                      JsonRecord::field(kSpreadsheetTitle, &OrganizerHistoryEntry::spreadsheetTitle)};
}

static auto jsonFields(const OrganizerHistorySection*)
{
    return std::tuple{JsonRecord::field(kEntries, &OrganizerHistorySection::entries), JsonRecord::field(kId, &OrganizerHistorySection::id),
                      JsonRecord::field(kTitle, &OrganizerHistorySection::title)};
}

void writeJson(JsonWriter& w, const OrganizerHistoryEntry& e) { JsonRecord::write(w, e); }
void writeJson(JsonWriter& w, const OrganizerHistorySection& s) { JsonRecord::write(w, s); }

OrganizerHistoryEntry organizerHistoryEntryFromJson(const QJsonObject& o) { return JsonRecord::read<OrganizerHistoryEntry>(o); }

} // namespace tavrin
