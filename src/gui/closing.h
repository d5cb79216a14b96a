#pragma once

#include <QWidget>

class QLabel;

// The small always-on-top window shown while the program waits for its running checks to end.
// It has no behaviour of its own.
class TFormClosing : public QWidget
{
    Q_OBJECT

public:
    explicit TFormClosing(QWidget* parent = nullptr);

    QLabel* LabelClosing = nullptr;
};
