#include "gui/dialogs/FrameURL.h"

#include "checks/ThreadURLCheckUnit.h"
#include "checks/UrlExpectation.h"
#include "core/langLibrary.h"
#include "gui/dialogs/FrameKit.h"
#include "net/HttpClient.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const kDefaultContentType = "text/html";
const char* const kDefaultUserAgent = "Mozilla/3.0";
const char* const kDefaultAccept = "text/html, */*";

bool methodTakesFields(const QString& method)
{
    return method == QLatin1String("Post") || method == QLatin1String("Put");
}

// What the expectation's text holds in each mode, shown in the empty input.
QString expectHint(UrlExpectMode mode)
{
    switch (mode) {
    case UrlExpectMode::None:
        return QString();
    case UrlExpectMode::Contains:
        return QStringLiteral("a text the page must hold, e.g. Welcome");
    case UrlExpectMode::NotContains:
        return QStringLiteral("a text the page must not hold, e.g. Maintenance");
    case UrlExpectMode::Matches:
        return QStringLiteral("a regular expression, e.g. Version \\d+\\.\\d+");
    case UrlExpectMode::JsonValue:
        return QStringLiteral("POINTER=VALUE, e.g. /status=\"up\" or /items/0/count=3");
    }
    return QString();
}

} // namespace

TFrameURLForm::TFrameURLForm(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FrameURLForm"));
    PageControl = new QTabWidget(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(PageControl);

    // Page "URL".
    auto* urlPage = new QWidget;
    auto* urlLayout = new QVBoxLayout(urlPage);
    auto* urlForm = new QFormLayout;
    urlForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    ComboBoxMethod = AddComboRow(urlForm, QStringLiteral("Method"),
                                 {QStringLiteral("Get"), QStringLiteral("Post"), QStringLiteral("Trace"),
                                  QStringLiteral("Put"), QStringLiteral("Delete"), QStringLiteral("Head"),
                                  QStringLiteral("Options")});
    EditURL = AddEditRow(urlForm, QStringLiteral("URL"), column::Url);
    EditPort = AddEditRow(urlForm, QStringLiteral("Port"), column::Integer);
    urlLayout->addLayout(urlForm);

    GroupBoxPostFields = new QGroupBox(QStringLiteral("Post Fields"));
    auto* postLayout = new QHBoxLayout(GroupBoxPostFields);
    auto* postForm = new QFormLayout;
    EditFieldName = AddEditRow(postForm, QStringLiteral("Field Name"), column::PostField);
    EditFieldValue = AddEditRow(postForm, QStringLiteral("Field Value"), column::PostField);
    ButtonAdd = new QPushButton(QStringLiteral("Add >>"));
    ButtonAdd->setToolTip(QStringLiteral("Click to add this field name and value..."));
    postForm->addRow(QString(), ButtonAdd);
    postLayout->addLayout(postForm);
    ListViewPostFields = new QTreeWidget;
    ListViewPostFields->setAccessibleName(QStringLiteral("Post Fields"));
    ListViewPostFields->setColumnCount(2);
    ListViewPostFields->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    ListViewPostFields->setColumnWidth(0, 150);
    ListViewPostFields->setRootIsDecorated(false);
    ListViewPostFields->setAllColumnsShowFocus(true);
    ListViewPostFields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewPostFields->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewPostFields->setContextMenuPolicy(Qt::CustomContextMenu);
    postLayout->addWidget(ListViewPostFields, 1);
    urlLayout->addWidget(GroupBoxPostFields, 1);

    GroupBoxExpect = new QGroupBox(QStringLiteral("Expect in the answer"));
    auto* expectForm = new QFormLayout(GroupBoxExpect);
    expectForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    ComboBoxExpect = AddComboRow(expectForm, QStringLiteral("Expectation"), UrlExpectModeCaptions());
    ComboBoxExpect->setToolTip(QStringLiteral("What the body of a 2xx answer must hold (read up to 1 MiB)"));
    EditExpect = AddEditRow(expectForm, QStringLiteral("Expected text"), column::Expect);
    urlLayout->addWidget(GroupBoxExpect);
    PageControl->addTab(urlPage, QStringLiteral("URL"));

    // Page "Authentication".
    QFormLayout* authForm = AddFormPage(PageControl, QStringLiteral("Authentication"));
    CheckBoxAuthentication = new QCheckBox(QStringLiteral("Authentication"));
    authForm->addRow(CheckBoxAuthentication);
    EditUsername = AddEditRow(authForm, QStringLiteral("Username"), column::Login);
    EditPassword = AddEditRow(authForm, QStringLiteral("Password"), column::Login, true);

    // Page "Other settings".
    QFormLayout* otherForm = AddFormPage(PageControl, QStringLiteral("Other settings"));
    EditCookie = AddEditRow(otherForm, QStringLiteral("Cookie"), column::Header);
    EditHeaderInfo = AddEditRow(otherForm, QStringLiteral("Header Info"), column::Header);
    EditContentType = AddEditRow(otherForm, QStringLiteral("Content Type"), column::Header);
    EditUserAgent = AddEditRow(otherForm, QStringLiteral("User Agent"), column::Header);
    EditReferer = AddEditRow(otherForm, QStringLiteral("Referer"), column::Header);

    // Page "Accept settings".
    QFormLayout* acceptForm = AddFormPage(PageControl, QStringLiteral("Accept settings"));
    EditAccept = AddEditRow(acceptForm, QStringLiteral("Accept"), column::Header);
    EditAcceptCharset = AddEditRow(acceptForm, QStringLiteral("Accept Charset"), column::Header);
    EditAcceptEncoding = AddEditRow(acceptForm, QStringLiteral("Accept Encoding"), column::Header);
    EditAcceptLanguage = AddEditRow(acceptForm, QStringLiteral("Accept Language"), column::Header);

    // Page "Proxy settings".
    QFormLayout* proxyForm = AddFormPage(PageControl, QStringLiteral("Proxy settings"));
    CheckBoxUseProxy = new QCheckBox(QStringLiteral("Use Proxy Server"));
    proxyForm->addRow(CheckBoxUseProxy);
    EditProxyServer = AddEditRow(proxyForm, QStringLiteral("Proxy Server"), column::Host);
    EditProxyPort = AddEditRow(proxyForm, QStringLiteral("Proxy Port"), column::Integer);
    CheckBoxProxyAuthentication = new QCheckBox(QStringLiteral("Proxy Authentication"));
    proxyForm->addRow(CheckBoxProxyAuthentication);
    EditProxyUsername = AddEditRow(proxyForm, QStringLiteral("Username"), column::Login);
    EditProxyPassword = AddEditRow(proxyForm, QStringLiteral("Password"), column::Login, true);
    // The two "Username" and "Password" captions would name two inputs alike.
    EditProxyUsername->setAccessibleName(QStringLiteral("Proxy Username"));
    EditProxyPassword->setAccessibleName(QStringLiteral("Proxy Password"));

    connect(CheckBoxAuthentication, &QCheckBox::toggled, this, &TFrameURLForm::applyEnabling);
    connect(CheckBoxUseProxy, &QCheckBox::toggled, this, &TFrameURLForm::applyEnabling);
    connect(CheckBoxProxyAuthentication, &QCheckBox::toggled, this, &TFrameURLForm::applyEnabling);
    connect(ComboBoxMethod, &QComboBox::currentIndexChanged, this, &TFrameURLForm::applyEnabling);
    connect(ComboBoxExpect, &QComboBox::currentIndexChanged, this, &TFrameURLForm::applyEnabling);
    connect(EditURL, &QLineEdit::textEdited, this, &TFrameURLForm::urlEdited);
    connect(EditPort, &QLineEdit::textEdited, this, [this] { m_portFromUrl.clear(); });
    connect(ButtonAdd, &QPushButton::clicked, this, &TFrameURLForm::ButtonAddClick);
    connect(ListViewPostFields, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { RemovePostField(item); });
    connect(ListViewPostFields, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* remove = menu.addAction(QStringLiteral("Remove"));
        if (menu.exec(ListViewPostFields->viewport()->mapToGlobal(at)) == remove)
            RemovePostField(ListViewPostFields->selectedItems().value(0));
    });

    Reset();
}

void TFrameURLForm::Reset()
{
    PageControl->setCurrentIndex(0);
    ComboBoxMethod->setCurrentIndex(0);
    for (QLineEdit* edit :
         {EditURL, EditPort, EditFieldName, EditFieldValue, EditUsername, EditPassword, EditCookie,
          EditHeaderInfo, EditReferer, EditAcceptCharset, EditAcceptEncoding, EditAcceptLanguage,
          EditProxyServer, EditProxyPort, EditProxyUsername, EditProxyPassword})
        edit->clear();
    EditContentType->setText(QString::fromLatin1(kDefaultContentType));
    EditUserAgent->setText(QString::fromLatin1(kDefaultUserAgent));
    EditAccept->setText(QString::fromLatin1(kDefaultAccept));
    CheckBoxAuthentication->setChecked(false);
    CheckBoxUseProxy->setChecked(false);
    CheckBoxProxyAuthentication->setChecked(false);
    ListViewPostFields->clear();
    ComboBoxExpect->setCurrentIndex(0);
    EditExpect->clear();
    m_portFromUrl.clear();
    applyEnabling();
}

void TFrameURLForm::Normalise()
{
    if (!CheckBoxAuthentication->isChecked()) {
        EditUsername->clear();
        EditPassword->clear();
    }
    if (!CheckBoxUseProxy->isChecked()) {
        EditProxyServer->clear();
        EditProxyPort->clear();
        EditProxyUsername->clear();
        EditProxyPassword->clear();
    }
    if (!CheckBoxProxyAuthentication->isChecked()) {
        EditProxyUsername->clear();
        EditProxyPassword->clear();
    }
    if (ComboBoxExpect->currentIndex() <= 0)
        EditExpect->clear();
}

QString TFrameURLForm::ExpectModeKey() const
{
    return UrlExpectModeKey(static_cast<UrlExpectMode>(std::max(0, ComboBoxExpect->currentIndex())));
}

void TFrameURLForm::RenderExpect(const QString& modeKey, const QString& text)
{
    const UrlExpectMode mode = UrlExpectModeFromKey(modeKey);
    ComboBoxExpect->setCurrentIndex(static_cast<int>(mode));
    EditExpect->setText(mode == UrlExpectMode::None ? QString() : text);
}

int TFrameURLForm::PortOfUrl(const QString& url)
{
    const QString text = url.trimmed();
    if (text.isEmpty())
        return 0;
    try {
        return ParseHttpUrl(ThreadURLCheck::UrlOf(text)).port;
    } catch (const HttpError&) {
        return 0;
    }
}

void TFrameURLForm::urlEdited(const QString& url)
{
    const QString port = EditPort->text();
    if (!port.isEmpty() && port != m_portFromUrl)
        return; // the user's own port stays
    const int fromUrl = PortOfUrl(url);
    m_portFromUrl = fromUrl > 0 ? QString::number(fromUrl) : QString();
    EditPort->setText(m_portFromUrl);
}

QList<std::pair<QString, QString>> TFrameURLForm::PostFields() const
{
    QList<std::pair<QString, QString>> fields;
    for (int i = 0; i < ListViewPostFields->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListViewPostFields->topLevelItem(i);
        fields.append({item->text(0), item->text(1)});
    }
    return fields;
}

void TFrameURLForm::InsertPostField(const QString& name, const QString& value)
{
    ListViewPostFields->insertTopLevelItem(0, new QTreeWidgetItem({name, value}));
}

void TFrameURLForm::ButtonAddClick()
{
    if (EditFieldName->text().isEmpty() || EditFieldValue->text().isEmpty())
        return;
    InsertPostField(EditFieldName->text(), EditFieldValue->text());
    EditFieldName->clear();
    EditFieldValue->clear();
    emit statusText(QString::fromLatin1(lang::RightClickToRemove));
}

void TFrameURLForm::RemovePostField(QTreeWidgetItem* item)
{
    if (!item)
        return;
    EditFieldName->setText(item->text(0));
    EditFieldValue->setText(item->text(1));
    delete item;
}

void TFrameURLForm::applyEnabling()
{
    const bool auth = CheckBoxAuthentication->isChecked();
    const bool proxy = CheckBoxUseProxy->isChecked();
    const bool proxyAuth = proxy && CheckBoxProxyAuthentication->isChecked();
    EditUsername->setEnabled(auth);
    EditPassword->setEnabled(auth);
    EditProxyServer->setEnabled(proxy);
    EditProxyPort->setEnabled(proxy);
    CheckBoxProxyAuthentication->setEnabled(proxy);
    EditProxyUsername->setEnabled(proxyAuth);
    EditProxyPassword->setEnabled(proxyAuth);
    GroupBoxPostFields->setEnabled(methodTakesFields(ComboBoxMethod->currentText()));
    const auto mode = static_cast<UrlExpectMode>(std::max(0, ComboBoxExpect->currentIndex()));
    EditExpect->setEnabled(mode != UrlExpectMode::None);
    EditExpect->setPlaceholderText(expectHint(mode));
}
