#pragma once

#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace tavrin {

class CapsuleButton;
class OrganizerHistoryPanel;

// The folding "Historique" panel under the table: per spreadsheet, each run's headline, date
// and first report lines.
class OrganizerHistoryView : public QWidget {
    Q_OBJECT

public:
    explicit OrganizerHistoryView(OrganizerHistoryPanel* panel, QWidget* parent = nullptr);

    CapsuleButton* header() const { return m_header; }
    // The texts shown, one per line (for tests and accessibility).
    QStringList shownLines() const;

private:
    void reload();

    OrganizerHistoryPanel* m_panel;
    CapsuleButton* m_header;
    QScrollArea* m_scroll;
    QWidget* m_content;
    QVBoxLayout* m_lines;
};

} // namespace tavrin
