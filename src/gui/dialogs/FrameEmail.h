#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QTabWidget;

// The inputs of a mail server service: the protocol ("SMTP", "POP3", "IMAP"), host, port and
// log-in. Picking a protocol sets its usual port.
class TFrameEmailForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameEmailForm(QWidget* parent = nullptr);

    void Reset();
    // The user picked a Method: Port becomes 25, 110 or 143. Setting the Method from a stored
    // row does not come here.
    void ComboBoxMethodSelect();

    QTabWidget* PageControl = nullptr;
    QComboBox* ComboBoxMethod = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QLineEdit* EditUserID = nullptr;
    QLineEdit* EditPassword = nullptr;
};
