#pragma once

// « Proposer les lignes » of the spreadsheet screen: the proposal for the shown spreadsheet, the
// photographer's answers (riders who did not ride, numbers typed on doubtful rows), each
// realigning it at once, and its acceptance. Nothing reaches the library before « Accepter ».

#include "rounds/RoundProposal.h"

#include <QObject>
#include <QUuid>

#include <optional>

namespace tavrin {

class LibraryStore;
class WorkspaceStore;

// Adds (photo number, assigned number) rows after the spreadsheet's last filled row, in one step;
// returns how many were added.
qsizetype appendRows(LibraryStore& library, const QUuid& spreadsheetID, const QList<std::pair<QString, QString>>& rows);
// The same rows placed among the typed ones by photo number, each before the first filled row
// whose photo comes after it (after the last filled row when none does), in one step.
qsizetype insertRowsInPhotoOrder(LibraryStore& library, const QUuid& spreadsheetID,
                                 const QList<std::pair<QString, QString>>& rows);

class RoundProposalModel : public QObject {
    Q_OBJECT

public:
    RoundProposalModel(LibraryStore& library, WorkspaceStore& workspace, QObject* parent = nullptr);

    // Another spreadsheet drops the proposal.
    void setSpreadsheet(const std::optional<QUuid>& spreadsheetID);
    // The source folder and the event are chosen.
    bool canPropose() const;

    // Reads the capture times and proposes; on failure `message` says why.
    void propose();
    bool hasProposal() const { return m_result.has_value(); }
    const RoundProposal::Result& result() const;
    const std::optional<QString>& message() const { return m_message; }

    // "DUPONT JEAN" or "N° 12" for a number of the event; the number itself otherwise.
    QString riderName(const QString& number) const;

    // `jumpOff`: the rider did not ride the jump-off (he may have ridden the class).
    void setAbsent(const QString& number, bool absent, bool jumpOff = false);
    bool isAbsent(const QString& number, bool jumpOff = false) const { return (jumpOff ? m_notInJumpOff : m_absent).contains(number); }
    // A number typed on a proposed row fixes its rider; an empty text takes it back.
    void setNumber(qsizetype row, const QString& number);
    // The numbers typed so far, keyed by the photo number of their row.
    const QList<std::pair<QString, QString>>& answers() const { return m_answers; }

    // Rows « Accepter les propositions » would add: the certain proposals and the answered rows.
    qsizetype acceptableCount() const;
    // Adds them to the spreadsheet and closes the proposal; returns how many were added.
    qsizetype accept();
    void ignore();

Q_SIGNALS:
    void changed();

private:
    void realign();
    // The photo folder and event a proposal is read from.
    std::pair<std::optional<QByteArray>, std::optional<QString>> proposalInputs() const;

    LibraryStore& m_library;
    WorkspaceStore& m_workspace;
    std::optional<QUuid> m_spreadsheet;
    QList<PhotoCapture> m_captures;
    QList<ImportedPerson> m_people;
    QStringList m_absent;
    QStringList m_notInJumpOff;
    QList<std::pair<QString, QString>> m_answers;
    std::optional<RoundProposal::Result> m_result;
    std::optional<QString> m_message;
    std::pair<std::optional<QByteArray>, std::optional<QString>> m_proposedFrom;
};

} // namespace tavrin
