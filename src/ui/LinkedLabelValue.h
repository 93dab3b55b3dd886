#pragma once

#include <QWidget>

class QLabel;

namespace tavrin {

// A label and its value read as one ("Dossier source : Concours"), the value elided in the middle
// when space runs out.
class LinkedLabelValue : public QWidget {
    Q_OBJECT

public:
    explicit LinkedLabelValue(const QString& label, QWidget* parent = nullptr);

    void setValue(const QString& value);
    QString value() const { return m_value; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateElision();

    QLabel* m_label;
    QLabel* m_valueLabel;
    QString m_value;
};

} // namespace tavrin
