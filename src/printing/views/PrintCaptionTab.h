#pragma once

// The « Légende » tab of the print panel: whether each print carries its caption, above or below
// the photo, and how large. Chosen once, remembered for the next prints.

#include "printing/PrintCaption.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace tavrin {

class PrintCaptionTab : public QWidget {
    Q_OBJECT
public:
    // `example`: the caption of the job's first photo, shown under the choices.
    explicit PrintCaptionTab(const CaptionStyle& style, const QString& example, QWidget* parent = nullptr);

    CaptionStyle style() const;

    QCheckBox* shownBox() const { return m_shown; }
    QComboBox* positionBox() const { return m_position; }
    QSpinBox* sizeBox() const { return m_size; }

private:
    void follow();

    QCheckBox* m_shown;
    QComboBox* m_position;
    QSpinBox* m_size;
    QLabel* m_example;
};

} // namespace tavrin
