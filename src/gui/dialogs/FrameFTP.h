#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;

// The inputs of an "FTP" service: host, port and log-in on the page "FTP", the proxy with its
// kind and log-in on the page "Proxy settings".
class TFrameFTPForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameFTPForm(QWidget* parent = nullptr);

    void Reset();
    // Empties the inputs of the options that are switched off.
    void Normalise();

    static const QStringList& ProxyTypes();

    QTabWidget* PageControl = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QLineEdit* EditUserID = nullptr;
    QLineEdit* EditPassword = nullptr;
    QCheckBox* CheckBoxUseProxy = nullptr;
    QLineEdit* EditProxyServer = nullptr;
    QLineEdit* EditProxyPort = nullptr;
    QComboBox* ComboBoxProxyType = nullptr;
    QCheckBox* CheckBoxProxyAuthentication = nullptr;
    QLineEdit* EditProxyUsername = nullptr;
    QLineEdit* EditProxyPassword = nullptr;

private:
    void applyEnabling();
};
