// « Proposer les lignes » in the spreadsheet screen: proposals shown apart, a stretch settled by
// ticking an absence, a doubtful row settled by typing its number, accepted or ignored.
#include "DatedPhotos.h"

#include "library/LibraryStore.h"
#include "library/views/SpreadsheetPane.h"
#include "organizer/WorkspaceStore.h"
#include "organizer/views/RoundProposalView.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "rounds/RoundProposalModel.h"
#include "ui/CapsuleButton.h"

#include <QProcess>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

QDateTime at(int second, int millis = 0)
{
    return QDateTime(QDate(2026, 6, 14), QTime(10, 0).addSecs(second).addMSecs(millis), Qt::LocalTime);
}

struct ProposalScreen : ::testing::Test {
    TempDataDir data;
    QTemporaryDir folders;
    LibraryStore library;
    WorkspaceStore workspace;
    QUuid sheet;
    std::unique_ptr<SpreadsheetPane> pane;
    RoundProposalView* view = nullptr;

    void SetUp() override
    {
        // 12, 15, (20 does not start), 31 typed, 40: three frames each at one fence.
        QList<std::pair<QString, QDateTime>> photos;
        int number = 1;
        for (int round : {5, 95, 185, 275})
            for (int frame = 0; frame < 3; ++frame)
                photos.append({QStringLiteral("DSC_%1.JPG").arg(number++, 4, 10, QLatin1Char('0')), at(round, frame * 100)});
        makeDatedPhotos(folders.filePath("carte"), photos);
        if (HasFatalFailure()) return;

        const DayRecord day = library.addDay(QStringLiteral("Samedi"));
        sheet = library.addSpreadsheet(day.id, QStringLiteral("Vitesse")).id;
        library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows.last().id, QStringLiteral("0007"), QStringLiteral("31"));
        workspace.adoptProgramme(ProgrammeDocument{
            "programme.xlsx",
            {{"Samedi",
              {{"Samedi|Vitesse",
                "Vitesse",
                {{"12", "Jean", "Dupont", 3}, {"15", "Léa", "Martin", 4}, {"20", "Zoé", "Blanc", 5}, {"31", "Luc", "Noir", 7}, {"40", "Max", "Roux", 9}}}}}}});
        workspace.selectDay(QStringLiteral("Samedi"), sheet);
        pane = std::make_unique<SpreadsheetPane>(library);
        pane->resize(1200, 700);
        new SpreadsheetWorkspaceView(library, workspace, pane.get());
        pane->setSpreadsheet(sheet);
        view = pane->findChild<RoundProposalView*>();
        ASSERT_TRUE(view);
    }

    QStringList column(int c) const
    {
        QStringList texts;
        for (int r = 0; r < view->table()->rowCount(); ++r)
            texts.append(view->table()->item(r, c) ? view->table()->item(r, c)->text() : QStringLiteral("?"));
        return texts;
    }
    QStringList typedRows() const
    {
        QStringList rows;
        // Kept in a variable: the loop would otherwise walk the rows of a destroyed copy.
        const auto spreadsheet = library.snapshot().spreadsheet(sheet);
        for (const RowRecord& row : spreadsheet->rows)
            if (!row.isBlank()) rows.append(row.photoNumber + QLatin1Char('=') + row.assignedNumber);
        return rows;
    }
    void settle() const { QCoreApplication::processEvents(); }
};

TEST_F(ProposalScreen, ProposalsShownApartAndAStretchSettledByTickingAnAbsence)
{
    EXPECT_FALSE(view->proposeButton()->isEnabled()); // no event yet
    workspace.selectEvent(QStringLiteral("Samedi|Vitesse"), sheet);
    workspace.storeFolder(folders.filePath("carte"), WorkspaceStore::FolderKind::source, sheet);
    ASSERT_TRUE(view->proposeButton()->isEnabled());

    QTest::mouseClick(view->proposeButton(), Qt::LeftButton);
    settle();
    ASSERT_TRUE(view->table()->isVisible() || !view->table()->isHidden());
    // Two doubtful rows, the question about 12, 15 and 20 under them, then 40 for sure.
    EXPECT_EQ(column(RoundProposalView::photoColumn), (QStringList{"0001", "0004", "?", "0010"}));
    EXPECT_EQ(column(RoundProposalView::statusColumn), (QStringList{"Douteuse · 67 %", "Douteuse · 67 %", "?", "Proposée"}));
    EXPECT_TRUE(view->table()->item(0, RoundProposalView::photoColumn)->font().italic());
    EXPECT_TRUE(view->table()->item(0, RoundProposalView::numberColumn)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(view->table()->item(3, RoundProposalView::numberColumn)->flags() & Qt::ItemIsEditable);
    QWidget* question = view->table()->cellWidget(2, 0);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->findChildren<QCheckBox*>().size(), 3);
    EXPECT_TRUE(typedRows() == QStringList{"0007=31"}); // nothing added before acceptance

    const QList<QLabel*> labels = question->findChildren<QLabel*>();
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.first()->text(), QStringLiteral("Lequel de ces cavaliers n’a pas couru entre les photos 0001 et 0004 ?"));

    QCheckBox* absent = question->findChild<QCheckBox*>(QStringLiteral("absent-20"));
    ASSERT_TRUE(absent);
    EXPECT_EQ(absent->text(), QStringLiteral("N’a pas couru"));
    absent->click();
    settle();
    EXPECT_EQ(column(RoundProposalView::statusColumn), (QStringList{"Proposée", "Proposée", "Proposée"}));
    EXPECT_EQ(column(RoundProposalView::numberColumn), (QStringList{"12", "15", "40"}));
    EXPECT_EQ(column(RoundProposalView::riderColumn), (QStringList{"DUPONT JEAN", "MARTIN LÉA", "ROUX MAX"}));

    QTest::mouseClick(view->acceptButton(), Qt::LeftButton);
    settle();
    // Among the typed rows in photo order, and gone again with one undo.
    EXPECT_EQ(typedRows(), (QStringList{"0001=12", "0004=15", "0007=31", "0010=40"}));
    EXPECT_FALSE(view->model()->hasProposal());
    EXPECT_EQ(view->table()->rowCount(), 0);
    library.undo();
    EXPECT_EQ(typedRows(), QStringList{"0007=31"});
}

TEST_F(ProposalScreen, ANumberTypedOnADoubtfulRowRealignsAndIgnoringAddsNothing)
{
    workspace.selectEvent(QStringLiteral("Samedi|Vitesse"), sheet);
    workspace.storeFolder(folders.filePath("carte"), WorkspaceStore::FolderKind::source, sheet);
    QTest::mouseClick(view->proposeButton(), Qt::LeftButton);
    settle();
    // Typing 15 on the first round leaves 20 for the second: counts now settle it.
    view->table()->item(0, RoundProposalView::numberColumn)->setText(QStringLiteral("15"));
    settle();
    EXPECT_EQ(column(RoundProposalView::photoColumn), (QStringList{"0004", "0010"}));
    EXPECT_EQ(column(RoundProposalView::numberColumn), (QStringList{"20", "40"}));
    EXPECT_EQ(view->model()->acceptableCount(), 3);

    // Another photo folder: the proposal shown is read again from it.
    QDir().mkpath(folders.filePath("vide"));
    workspace.storeFolder(folders.filePath("vide"), WorkspaceStore::FolderKind::source, sheet);
    settle();
    EXPECT_FALSE(view->model()->hasProposal());
    EXPECT_EQ(view->summaryLabel()->text(), QStringLiteral("Le dossier « vide » ne contient aucune photo."));
    workspace.storeFolder(folders.filePath("carte"), WorkspaceStore::FolderKind::source, sheet);
    settle();
    EXPECT_TRUE(view->model()->hasProposal());

    QTest::mouseClick(view->ignoreButton(), Qt::LeftButton);
    settle();
    EXPECT_FALSE(view->model()->hasProposal());
    EXPECT_EQ(typedRows(), QStringList{"0007=31"});
}

// A number being typed on a doubtful row keeps its editor and its keys while a row arrives in the
// spreadsheet (which realigns the proposal), and counts once typed.
TEST_F(ProposalScreen, ANumberBeingTypedSurvivesARowArrivingMeanwhile)
{
    workspace.selectEvent(QStringLiteral("Samedi|Vitesse"), sheet);
    workspace.storeFolder(folders.filePath("carte"), WorkspaceStore::FolderKind::source, sheet);
    QTest::mouseClick(view->proposeButton(), Qt::LeftButton);
    settle();
    pane->show();
    QTableWidgetItem* number = view->table()->item(0, RoundProposalView::numberColumn);
    view->table()->setCurrentItem(number);
    view->table()->editItem(number);
    auto* editor = view->table()->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, QStringLiteral("1"));
    library.addRow(sheet);
    settle();
    settle();
    ASSERT_FALSE(editor->isHidden());
    EXPECT_EQ(editor->text(), QStringLiteral("1"));
    QTest::keyClicks(editor, QStringLiteral("5"));
    QTest::keyClick(editor, Qt::Key_Return);
    settle();
    settle();
    EXPECT_EQ(column(RoundProposalView::photoColumn), (QStringList{"0004", "0010"}));
    EXPECT_EQ(column(RoundProposalView::numberColumn), (QStringList{"20", "40"}));
}

} // namespace

TEST_F(ProposalScreen, PhotosWithoutCaptureTimesSaySoRatherThanGuessFromFileDates)
{
    // Encoded without any EXIF block, as some transfers and editors leave them.
    const QString bare = folders.filePath("sans-exif");
    QDir().mkpath(bare);
    for (const char* name : {"DSC_0001.JPG", "DSC_0002.JPG"})
        ASSERT_EQ(QProcess::execute("convert", {"-size", "64x48", "xc:#336699", bare + '/' + name}), 0);
    workspace.selectEvent(QStringLiteral("Samedi|Vitesse"), sheet);
    workspace.storeFolder(bare, WorkspaceStore::FolderKind::source, sheet);
    ASSERT_TRUE(view->proposeButton()->isEnabled());
    QTest::mouseClick(view->proposeButton(), Qt::LeftButton);
    settle();
    QTRY_COMPARE(view->summaryLabel()->text(), "Ces photos n’ont pas d’heure de prise de vue : impossible de trouver les passages.");
    EXPECT_EQ(view->table()->rowCount(), 0);
}
