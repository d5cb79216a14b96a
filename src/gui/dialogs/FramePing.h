#pragma once

#include <QWidget>

class QLineEdit;
class QTabWidget;

// The inputs of a "Ping" service: the host and an optional port.
class TFramePingForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFramePingForm(QWidget* parent = nullptr);

    void Reset();

    QTabWidget* PageControl = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
};
