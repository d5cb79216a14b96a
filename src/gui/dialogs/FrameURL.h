#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The inputs of a "URL" service: the request (method, address, port, form fields), its
// authentication, request headers, accept headers and proxy, on five pages.
class TFrameURLForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameURLForm(QWidget* parent = nullptr);

    // Back to the defaults, on the page "URL".
    void Reset();
    // Empties the inputs of the options that are switched off.
    void Normalise();
    // The Post list, top to bottom, as (name, value).
    QList<std::pair<QString, QString>> PostFields() const;
    // Inserts a row at the top of the Post list.
    void InsertPostField(const QString& name, const QString& value);

    // The expectation on the body the inputs hold: mode key ("" for None) and text.
    QString ExpectModeKey() const;
    // Shows a stored expectation (mode key and text); an unknown key shows None.
    void RenderExpect(const QString& modeKey, const QString& text);

    // The port an address names: its explicit port, or 80 / 443 for http / https ("http://" is
    // assumed when it names no scheme); 0 when the text is not an address yet.
    static int PortOfUrl(const QString& url);

    // The "Add >>" button and the removal of a Post list row (double click, "Remove").
    void ButtonAddClick();
    void RemovePostField(QTreeWidgetItem* item);

    QTabWidget* PageControl = nullptr;
    // Page "URL".
    QComboBox* ComboBoxMethod = nullptr;
    QLineEdit* EditURL = nullptr;
    QLineEdit* EditPort = nullptr;
    QGroupBox* GroupBoxPostFields = nullptr;
    QLineEdit* EditFieldName = nullptr;
    QLineEdit* EditFieldValue = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QTreeWidget* ListViewPostFields = nullptr;
    QGroupBox* GroupBoxExpect = nullptr;
    QComboBox* ComboBoxExpect = nullptr; // the UrlExpectMode captions, "None" first
    QLineEdit* EditExpect = nullptr;
    // Page "Authentication".
    QCheckBox* CheckBoxAuthentication = nullptr;
    QLineEdit* EditUsername = nullptr;
    QLineEdit* EditPassword = nullptr;
    // Page "Other settings".
    QLineEdit* EditCookie = nullptr;
    QLineEdit* EditHeaderInfo = nullptr;
    QLineEdit* EditContentType = nullptr;
    QLineEdit* EditUserAgent = nullptr;
    QLineEdit* EditReferer = nullptr;
    // Page "Accept settings".
    QLineEdit* EditAccept = nullptr;
    QLineEdit* EditAcceptCharset = nullptr;
    QLineEdit* EditAcceptEncoding = nullptr;
    QLineEdit* EditAcceptLanguage = nullptr;
    // Page "Proxy settings".
    QCheckBox* CheckBoxUseProxy = nullptr;
    QLineEdit* EditProxyServer = nullptr;
    QLineEdit* EditProxyPort = nullptr;
    QCheckBox* CheckBoxProxyAuthentication = nullptr;
    QLineEdit* EditProxyUsername = nullptr;
    QLineEdit* EditProxyPassword = nullptr;

signals:
    // A text for the status bar of the dialog that shows the frame.
    void statusText(const QString& text);

private:
    void applyEnabling();
    // The URL was typed: an empty Port, or one filled from the URL before, follows the URL.
    void urlEdited(const QString& url);

    QString m_portFromUrl; // what urlEdited last put into Port; empty once the user typed there
};
