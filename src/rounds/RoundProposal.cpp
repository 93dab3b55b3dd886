#include "rounds/RoundProposal.h"

#include "numbers/AssignedNumber.h"
#include "numbers/PhotoNumber.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace tavrin::RoundProposal {
namespace {

struct Shot {
    PhotoCapture capture;
    std::optional<PhotoNumber> number;
    qint64 millis = 0;
};

QString typedDigits(const PhotoNumber& number)
{
    return QString::number(number.value).rightJustified(number.width, QLatin1Char('0'));
}

} // namespace

Result propose(QList<PhotoCapture> captures, const QList<ImportedPerson>& people, const QList<RowRecord>& rows,
               const QStringList& absent, const QStringList& notInJumpOff)
{
    // Time order; photos of one instant keep the order of their names.
    std::vector<Shot> shots;
    shots.reserve(size_t(captures.size()));
    for (PhotoCapture& capture : captures) {
        const qint64 millis = capture.time.toMSecsSinceEpoch();
        std::optional<PhotoNumber> number = PhotoNumber::parse(QFileInfo(capture.path).fileName().trimmed());
        shots.push_back({std::move(capture), std::move(number), millis});
    }
    std::stable_sort(shots.begin(), shots.end(), [](const Shot& a, const Shot& b) {
        if (a.millis != b.millis) return a.millis < b.millis;
        return QFileInfo(a.capture.path).fileName() < QFileInfo(b.capture.path).fileName();
    });
    QList<qint64> millis;
    for (const Shot& shot : shots) millis.append(shot.millis);
    const QList<Round> rounds = RoundFinder::find(millis);

    // The start list: riders by ascending source line.
    QList<ImportedPerson> riders = people;
    std::stable_sort(riders.begin(), riders.end(),
                     [](const ImportedPerson& a, const ImportedPerson& b) { return a.sourceLine < b.sourceLine; });
    QHash<QString, qsizetype> riderIndex;
    for (qsizetype i = 0; i < riders.size(); ++i)
        if (!riderIndex.contains(riders[i].canonicalNumber)) riderIndex.insert(riders[i].canonicalNumber, i);

    std::vector<qsizetype> roundOfShot(shots.size());
    for (qsizetype r = 0; r < rounds.size(); ++r)
        for (qsizetype i = rounds[r].begin; i < rounds[r].end; ++i) roundOfShot[size_t(i)] = r;

    // A typed row notes the round holding its photo; its rider becomes a fixed point.
    RiderAligner::Input input;
    input.riderCount = riders.size();
    QSet<qsizetype> noted;
    QHash<qsizetype, QString> typedNumber;
    for (const RowRecord& row : rows) {
        const QString photo = row.photoNumber.trimmed(), assigned = row.assignedNumber.trimmed();
        if (photo.isEmpty() || assigned.isEmpty()) continue;
        const std::optional<PhotoNumber> number = PhotoNumber::parse(photo);
        if (!number) continue;
        for (size_t i = 0; i < shots.size(); ++i) {
            const std::optional<PhotoNumber>& file = shots[i].number;
            if (!file || file->value != number->value) continue;
            if (!number->prefix.isEmpty() && !file->prefix.isEmpty() && file->prefix != number->prefix) continue;
            const qsizetype round = roundOfShot[i];
            if (noted.contains(round)) break;
            noted.insert(round);
            const std::optional<QString> canonical = AssignedNumber::canonical(assigned);
            typedNumber.insert(round, canonical.value_or(assigned));
            if (canonical && riderIndex.contains(*canonical)) input.fixed.insert(round, riderIndex.value(*canonical));
            break;
        }
    }
    const auto indices = [&](const QStringList& numbers) {
        QSet<qsizetype> found;
        for (const QString& number : numbers)
            if (const std::optional<QString> canonical = AssignedNumber::canonical(number); canonical && riderIndex.contains(*canonical))
                found.insert(riderIndex.value(*canonical));
        return found;
    };
    input.absent = indices(absent);
    input.absentFromSecondPass = indices(notInJumpOff);

    for (qsizetype r = 0; r < rounds.size(); ++r) {
        input.gapsBefore.append(r == 0 ? 0.0 : double(millis[rounds[r].begin] - millis[rounds[r - 1].end - 1]) / 1000.0);
    }
    input.secondPassStart = RiderAligner::secondPassStart(input.gapsBefore, riders.size() - input.absent.size());
    QList<RiderAligner::DoubtfulStretch> stretches;
    const QList<RiderChoice> choices = RiderAligner::align(input, &stretches);

    Result result;
    for (qsizetype r = 0; r < rounds.size(); ++r) {
        const Round& round = rounds[r];
        const Shot& first = shots[size_t(round.begin)];
        ProposedRow row;
        row.photoNumber = first.number ? typedDigits(*first.number) : QFileInfo(first.capture.path).completeBaseName();
        const RiderChoice& choice = choices[r];
        if (choice.rider >= 0) row.assignedNumber = riders[choice.rider].canonicalNumber;
        row.photoCount = round.end - round.begin;
        row.firstCapture = first.capture.time;
        row.lastCapture = shots[size_t(round.end - 1)].capture.time;
        row.confidence = choice.confidence;
        row.doubtful = choice.doubtful || choice.rider < 0 || !first.number;
        for (qsizetype i = round.begin; i < round.end; ++i) row.files.append(shots[size_t(i)].capture.path);
        row.noted = noted.contains(r);
        if (row.noted) {
            row.assignedNumber = typedNumber.value(r);
            row.doubtful = false;
            row.confidence = 1.0;
        }
        result.rounds.append(row);
        if (!row.noted) result.rows.append(row);
    }
    QHash<qsizetype, qsizetype> rowOfRound;
    for (qsizetype r = 0, row = 0; r < rounds.size(); ++r)
        if (!noted.contains(r)) rowOfRound.insert(r, row++);
    for (const RiderAligner::DoubtfulStretch& stretch : stretches) {
        Question question;
        for (qsizetype round : stretch.rounds) question.rows.append(rowOfRound.value(round));
        for (qsizetype rider : stretch.riders) question.riders.append(riders[rider].canonicalNumber);
        question.moreRoundsThanRiders = stretch.rounds.size() > stretch.riders.size();
        question.jumpOff = stretch.jumpOff;
        result.questions.append(question);
    }
    return result;
}

QString summaryLine(const Result& result)
{
    const qsizetype count = result.rows.size();
    const qsizetype doubtful = std::count_if(result.rows.begin(), result.rows.end(), [](const ProposedRow& r) { return r.doubtful; });
    QString line = QString::number(count) + (count > 1 ? QStringLiteral(" lignes proposées") : QStringLiteral(" ligne proposée"));
    if (doubtful > 0)
        line += QStringLiteral(", dont ") + QString::number(doubtful) + (doubtful > 1 ? QStringLiteral(" douteuses") : QStringLiteral(" douteuse"));
    line += QStringLiteral(" · ") + QString::number(result.roundCount()) +
            (result.roundCount() > 1 ? QStringLiteral(" passages trouvés") : QStringLiteral(" passage trouvé"));
    return line;
}

} // namespace tavrin::RoundProposal
