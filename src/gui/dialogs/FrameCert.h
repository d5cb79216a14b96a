#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QTabWidget;

// The inputs of a "Certificate" service: host and port, and how TLS starts there: from the first
// byte, or after the greeting of SMTP, IMAP, POP3 or FTP with that protocol's switch command.
class TFrameCertForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameCertForm(QWidget* parent = nullptr);

    // The items of the STARTTLS list, in the order of ThreadCertCheck::StartTlsModes().
    static QStringList StartTlsItems();

    // Port 443, TLS from the first byte, the host empty.
    void Reset();

    // The stored text of the chosen STARTTLS mode ("" for none); showing one selects its item
    // (an unknown text selects none).
    QString StartTlsMode() const;
    void ShowStartTlsMode(const QString& mode);

    // A choice in the STARTTLS list changes the port only when it is empty or the usual port of
    // another mode, never a port the user typed.
    void ComboBoxStartTlsSelect();

    QTabWidget* PageControl = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QComboBox* ComboBoxStartTls = nullptr;
};
