#pragma once

#include <QWidget>

#include <optional>
#include <utility>

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
    // The strip above the panel that a drag moves to make the history taller or shorter.
    QWidget* resizeGrip() const { return m_grip; }
    QScrollArea* linesArea() const { return m_scroll; }
    // Height of the lines area as the user left it (kept across starts); none until dragged.
    std::optional<int> chosenHeight() const { return m_chosenHeight; }
    void setChosenHeight(int height);

    static constexpr int defaultMaximumHeight = 190;
    static constexpr int minimumChosenHeight = 60;
    static constexpr int maximumChosenHeight = 560;

    // The texts shown, one per line (for tests and accessibility).
    QStringList shownLines() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void reload();
    void applyHeight();

    OrganizerHistoryPanel* m_panel;
    CapsuleButton* m_header;
    QWidget* m_grip;
    std::optional<int> m_chosenHeight;
    std::optional<std::pair<int, int>> m_dragStart; // global y and height at the press
    QScrollArea* m_scroll;
    QWidget* m_content;
    QVBoxLayout* m_lines;
};

} // namespace tavrin
