#pragma once

#include <QWidget>

class QLineEdit;
class QTabWidget;

// The inputs of a "TCP" service: host and port, and optionally a line to send once connected and
// a text the first reply must contain.
class TFrameTCPForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameTCPForm(QWidget* parent = nullptr);

    void Reset();

    QTabWidget* PageControl = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QLineEdit* EditSend = nullptr;
    QLineEdit* EditExpect = nullptr;
};
