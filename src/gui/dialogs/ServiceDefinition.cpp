#include "gui/dialogs/ServiceDefinition.h"

#include "checks/UrlExpectation.h"
#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"
#include "database/ContactStore.h"
#include "database/DataModuleQuorvel.h"
#include "gui/dialogs/CheckListAccess.h"
#include "gui/dialogs/FrameCert.h"
#include "gui/dialogs/FrameDNS.h"
#include "gui/dialogs/FrameDatabase.h"
#include "gui/dialogs/FrameEmail.h"
#include "gui/dialogs/FrameFTP.h"
#include "gui/dialogs/FrameKit.h"
#include "gui/dialogs/FramePing.h"
#include "gui/dialogs/FrameTCP.h"
#include "gui/dialogs/FrameURL.h"
#include "net/HttpClient.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSet>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const kPleaseSelect = "Please select";
const char* const kIsPerson = "Person";
const char* const kIsGroup = "Group";
constexpr int kMaxPort = 65535;

// The integer of a validated field; an empty field gives 0.
int fieldNumber(const QLineEdit* edit)
{
    int value = 0;
    if (!ParseInteger(edit->text(), &value))
        return 0;
    return value;
}

QString portText(int port)
{
    return port == 0 ? QString() : QString::number(port);
}

QComboBox* scheduleList(const QStringList& items)
{
    auto* combo = new QComboBox;
    combo->addItem(QString::fromLatin1(kPleaseSelect));
    combo->addItems(items);
    return combo;
}

QStringList twoDigits(int count)
{
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
    return items;
}

QLabel* captionFor(QWidget* buddy, const QString& caption)
{
    auto* label = new QLabel(caption);
    label->setBuddy(buddy);
    return label;
}

} // namespace

// ---- field checks -----------------------------------------------------------------------------

void ShowFieldFailure(QWidget* field, const QString& message)
{
    ShowInformationBox(message);
    RevealWidget(field);
    field->setFocus(Qt::OtherFocusReason);
}

bool CheckFilled(QLineEdit* field, const QString& label)
{
    if (!field->text().isEmpty())
        return true;
    ShowFieldFailure(field, QString::fromLatin1(lang::HostFieldEmpty).replace(QLatin1String("%s"), label));
    return false;
}

bool CheckInteger(QLineEdit* field, const QString& label, int min, int max)
{
    int value = 0;
    if (ParseInteger(field->text(), &value) && value >= min && value <= max)
        return true;
    ShowFieldFailure(field, QString::fromLatin1(lang::InvalidInteger).replace(QLatin1String("%s"), label));
    return false;
}

bool CheckOneLine(QLineEdit* field, const QString& label)
{
    const QString text = field->text();
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return true;
    ShowFieldFailure(field, QString::fromLatin1(lang::OneLineField).replace(QLatin1String("%s"), label));
    return false;
}

// ---- schedule ---------------------------------------------------------------------------------

TScheduleInputs::TScheduleInputs(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScheduleInputs"));
    LabelCaption = new QLabel(QStringLiteral("Please select the scheduling method :"));
    RadioButtonDaily = new QRadioButton(QStringLiteral("By Daily"));
    RadioButtonHourly = new QRadioButton(QStringLiteral("By Hourly"));
    RadioButtonMinutely = new QRadioButton(QStringLiteral("By Minutely"));
    auto* group = new QButtonGroup(this);
    for (QRadioButton* radio : {RadioButtonDaily, RadioButtonHourly, RadioButtonMinutely}) {
        group->addButton(radio);
        connect(radio, &QRadioButton::toggled, this, &TScheduleInputs::applyChoice);
    }
    ComboBoxDailyHour = scheduleList(twoDigits(24));
    ComboBoxDailyMinute = scheduleList(twoDigits(60));
    ComboBoxHourlyMinute = scheduleList(twoDigits(60));
    // 1 and 2 beside the usual intervals: the minute tick runs any stored interval.
    ComboBoxMinutely =
        scheduleList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("10"),
                      QStringLiteral("15"), QStringLiteral("20"), QStringLiteral("30")});

    QLabel* dailyHour = captionFor(ComboBoxDailyHour, QStringLiteral("On which hour"));
    QLabel* dailyMinute = captionFor(ComboBoxDailyMinute, QStringLiteral("and minute"));
    QLabel* hourly = captionFor(ComboBoxHourlyMinute, QStringLiteral("On which minute"));
    QLabel* minutely = captionFor(ComboBoxMinutely, QStringLiteral("Every minute"));
    m_daily = {dailyHour, ComboBoxDailyHour, dailyMinute, ComboBoxDailyMinute};
    m_hourly = {hourly, ComboBoxHourlyMinute};
    m_minutely = {minutely, ComboBoxMinutely};

    auto* grid = new QGridLayout;
    grid->addWidget(RadioButtonDaily, 0, 0);
    grid->addWidget(dailyHour, 0, 1);
    grid->addWidget(ComboBoxDailyHour, 0, 2);
    grid->addWidget(dailyMinute, 0, 3);
    grid->addWidget(ComboBoxDailyMinute, 0, 4);
    grid->addWidget(RadioButtonHourly, 1, 0);
    grid->addWidget(hourly, 1, 1);
    grid->addWidget(ComboBoxHourlyMinute, 1, 2);
    grid->addWidget(RadioButtonMinutely, 2, 0);
    grid->addWidget(minutely, 2, 1);
    grid->addWidget(ComboBoxMinutely, 2, 2);
    grid->setColumnStretch(5, 1);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(14);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addStretch(1);
    Reset();
}

void TScheduleInputs::Reset()
{
    auto* group = RadioButtonDaily->group();
    group->setExclusive(false);
    for (QRadioButton* radio : {RadioButtonDaily, RadioButtonHourly, RadioButtonMinutely})
        radio->setChecked(false);
    group->setExclusive(true);
    for (QComboBox* combo : {ComboBoxDailyHour, ComboBoxDailyMinute, ComboBoxHourlyMinute, ComboBoxMinutely})
        combo->setCurrentIndex(0);
    applyChoice();
}

void TScheduleInputs::Render(const QString& by, const QString& hour, const QString& minute)
{
    if (by == QLatin1String(lang::ScheduleDaily)) {
        RadioButtonDaily->setChecked(true);
        SelectComboText(ComboBoxDailyHour, hour);
        SelectComboText(ComboBoxDailyMinute, minute);
    } else if (by == QLatin1String(lang::ScheduleHourly)) {
        RadioButtonHourly->setChecked(true);
        SelectComboText(ComboBoxHourlyMinute, minute);
    } else if (by == QLatin1String(lang::ScheduleMinutely)) {
        RadioButtonMinutely->setChecked(true);
        SelectComboText(ComboBoxMinutely, minute);
    }
    applyChoice();
}

QList<QComboBox*> TScheduleInputs::listsOfChoice() const
{
    if (RadioButtonDaily->isChecked())
        return {ComboBoxDailyHour, ComboBoxDailyMinute};
    if (RadioButtonHourly->isChecked())
        return {ComboBoxHourlyMinute};
    if (RadioButtonMinutely->isChecked())
        return {ComboBoxMinutely};
    return {};
}

bool TScheduleInputs::Validate()
{
    const QList<QComboBox*> lists = listsOfChoice();
    bool chosen = !lists.isEmpty();
    for (QComboBox* list : lists) {
        if (list->currentText() == QLatin1String(kPleaseSelect))
            chosen = false;
    }
    if (!chosen) {
        ShowInformationBox(QString::fromLatin1(lang::SelectSchedulingMethod));
        RevealWidget(this);
        return false;
    }
    for (QComboBox* list : lists) {
        if (!IsInteger(list->currentText())) {
            ShowInformationBox(QString::fromLatin1(lang::SelectValidMinuteHour));
            RevealWidget(this);
            return false;
        }
    }
    return true;
}

void TScheduleInputs::Values(QString* by, QString* hour, QString* minute) const
{
    const QString zero = QStringLiteral("00");
    by->clear();
    hour->clear();
    minute->clear();
    if (RadioButtonDaily->isChecked()) {
        *by = QString::fromLatin1(lang::ScheduleDaily);
        *hour = ComboBoxDailyHour->currentText();
        *minute = ComboBoxDailyMinute->currentText();
    } else if (RadioButtonHourly->isChecked()) {
        *by = QString::fromLatin1(lang::ScheduleHourly);
        *hour = zero;
        *minute = ComboBoxHourlyMinute->currentText();
    } else if (RadioButtonMinutely->isChecked()) {
        *by = QString::fromLatin1(lang::ScheduleMinutely);
        *hour = zero;
        *minute = ComboBoxMinutely->currentText();
    }
}

void TScheduleInputs::applyChoice()
{
    for (QWidget* w : m_daily)
        w->setVisible(RadioButtonDaily->isChecked());
    for (QWidget* w : m_hourly)
        w->setVisible(RadioButtonHourly->isChecked());
    for (QWidget* w : m_minutely)
        w->setVisible(RadioButtonMinutely->isChecked());
}

// ---- kind and frames --------------------------------------------------------------------------

TServiceKindInputs::TServiceKindInputs(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ServiceKindInputs"));
    ComboBoxService = new QComboBox;
    ComboBoxService->addItems({QString::fromLatin1(lang::KindURL), QString::fromLatin1(lang::KindPing),
                               QString::fromLatin1(lang::KindEmail), QString::fromLatin1(lang::KindFTP),
                               QString::fromLatin1(lang::KindTCP), QString::fromLatin1(lang::KindDNS),
                               QString::fromLatin1(lang::KindCert)});
    LabelCaption = captionFor(ComboBoxService, QStringLiteral("Please select service :"));
    Frames = new QStackedWidget;
    FrameURL = new TFrameURLForm;
    FrameEmail = new TFrameEmailForm;
    FramePing = new TFramePingForm;
    FrameFTP = new TFrameFTPForm;
    FrameTCP = new TFrameTCPForm;
    FrameDNS = new TFrameDNSForm;
    FrameCert = new TFrameCertForm;
    FrameDatabase = new TFrameDatabaseForm;
    m_noFrame = new QWidget;
    for (QWidget* frame : {static_cast<QWidget*>(FrameURL), static_cast<QWidget*>(FramePing),
                           static_cast<QWidget*>(FrameEmail), static_cast<QWidget*>(FrameFTP),
                           static_cast<QWidget*>(FrameTCP), static_cast<QWidget*>(FrameDNS),
                           static_cast<QWidget*>(FrameCert), static_cast<QWidget*>(FrameDatabase), m_noFrame})
        Frames->addWidget(frame);

    auto* top = new QHBoxLayout;
    top->addWidget(LabelCaption);
    top->addWidget(ComboBoxService);
    top->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(Frames, 1);
    connect(ComboBoxService, &QComboBox::currentIndexChanged, this, &TServiceKindInputs::showFrame);
    showFrame();
}

QString TServiceKindInputs::Kind() const
{
    return ComboBoxService->currentText();
}

void TServiceKindInputs::SelectService(const QString& service)
{
    const QString kind = KindOfService(service);
    SelectComboText(ComboBoxService, kind);
    if (kind == QLatin1String(lang::KindEmail))
        SelectComboText(FrameEmail->ComboBoxMethod, service);
    showFrame();
}

QWidget* TServiceKindInputs::CurrentFrame() const
{
    const QString kind = Kind();
    if (kind == QLatin1String(lang::KindURL))
        return FrameURL;
    if (kind == QLatin1String(lang::KindPing))
        return FramePing;
    if (kind == QLatin1String(lang::KindEmail))
        return FrameEmail;
    if (kind == QLatin1String(lang::KindFTP))
        return FrameFTP;
    if (kind == QLatin1String(lang::KindTCP))
        return FrameTCP;
    if (kind == QLatin1String(lang::KindDNS))
        return FrameDNS;
    if (kind == QLatin1String(lang::KindCert))
        return FrameCert;
    return nullptr;
}

void TServiceKindInputs::showFrame()
{
    QWidget* frame = CurrentFrame();
    Frames->setCurrentWidget(frame ? frame : m_noFrame);
}

// ---- alarm methods ----------------------------------------------------------------------------

TAlarmMethodInputs::TAlarmMethodInputs(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("AlarmMethodInputs"));
    LabelCaption = new QLabel(QStringLiteral("Please select the below alarm method(s) :"));
    CheckBoxEmail = new QCheckBox(QString::fromLatin1(lang::MethodEmail));
    CheckBoxSMS = new QCheckBox(QString::fromLatin1(lang::MethodSMS));
    CheckBoxSMSbyHTTP = new QCheckBox(QString::fromLatin1(lang::MethodSMSbyHTTP));
    CheckBoxSysLog = new QCheckBox(QString::fromLatin1(lang::MethodSysLog));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addSpacing(8);
    for (QCheckBox* box : {CheckBoxEmail, CheckBoxSMS, CheckBoxSMSbyHTTP, CheckBoxSysLog})
        layout->addWidget(box);
    layout->addStretch(1);
}

void TAlarmMethodInputs::Reset()
{
    for (QCheckBox* box : {CheckBoxEmail, CheckBoxSMS, CheckBoxSMSbyHTTP, CheckBoxSysLog})
        box->setChecked(false);
}

// ---- contacts ---------------------------------------------------------------------------------

TContactList::TContactList(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ContactList"));
    ListViewContact = new QTreeWidget;
    ListViewContact->setColumnCount(2);
    ListViewContact->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Is")});
    ListViewContact->setRootIsDecorated(false);
    ListViewContact->setAllColumnsShowFocus(true);
    ListViewContact->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewContact->header()->setStretchLastSection(false);
    ListViewContact->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ListViewContact->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    ListViewContact->setColumnWidth(1, 100);
    MakeAccessibleCheckList(ListViewContact);
    LabelCaption =
        captionFor(ListViewContact, QStringLiteral("Please select the contact person(s) or group(s) :"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addWidget(ListViewContact, 1);
}

void TContactList::Fill()
{
    ListViewContact->clear();
    const auto addRows = [this](const QList<ContactName>& rows, const char* is) {
        for (const ContactName& row : rows) {
            auto* item = new QTreeWidgetItem({row.Name, QString::fromLatin1(is)});
            item->setData(0, Qt::UserRole, row.Id);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            ListViewContact->insertTopLevelItem(0, item);
        }
    };
    try {
        addRows(ContactStore::Persons(), kIsPerson);
        addRows(ContactStore::Groups(), kIsGroup);
    } catch (const std::exception& error) {
        WriteSystemLog(QStringLiteral("Reading the contact list failed : ") + QString::fromUtf8(error.what()),
                       LogLevel::ERROR);
    }
}

void TContactList::Refresh()
{
    const QList<ContactChoice> ticked = Ticked();
    Fill();
    for (int i = 0; i < ListViewContact->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ListViewContact->topLevelItem(i);
        const bool group = item->text(1) == QLatin1String(kIsGroup);
        const int id = item->data(0, Qt::UserRole).toInt();
        for (const ContactChoice& choice : ticked) {
            if (choice.group == group && choice.id == id)
                item->setCheckState(0, Qt::Checked);
        }
    }
}

QList<ContactChoice> TContactList::Ticked() const
{
    QList<ContactChoice> choices;
    for (int i = 0; i < ListViewContact->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListViewContact->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked)
            continue;
        choices.append({item->text(1) == QLatin1String(kIsGroup), item->data(0, Qt::UserRole).toInt()});
    }
    return choices;
}

void TContactList::TickPersons(const QList<int>& personIds)
{
    for (int i = 0; i < ListViewContact->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ListViewContact->topLevelItem(i);
        if (item->text(1) == QLatin1String(kIsPerson) &&
            personIds.contains(item->data(0, Qt::UserRole).toInt()))
            item->setCheckState(0, Qt::Checked);
    }
}

// ---- the shared operations ----------------------------------------------------------------------

TServiceInputs::TServiceInputs()
    : Schedule(new TScheduleInputs), Service(new TServiceKindInputs), Alarms(new TAlarmMethodInputs),
      Contacts(new TContactList)
{
}

void TServiceInputs::ResetFrames()
{
    Service->FrameURL->Reset();
    Service->FrameEmail->Reset();
    Service->FramePing->Reset();
    Service->FrameFTP->Reset();
    Service->FrameTCP->Reset();
    Service->FrameDNS->Reset();
    Service->FrameCert->Reset();
    Service->FrameDatabase->Reset();
}

void TServiceInputs::ResetAll()
{
    Schedule->Reset();
    Service->SelectService(QString::fromLatin1(lang::KindURL));
    ResetFrames();
    Alarms->Reset();
    Contacts->Fill();
}

bool TServiceInputs::ValidateSchedule()
{
    return Schedule->Validate();
}

bool TServiceInputs::ValidateServiceFields()
{
    const QString kind = Service->Kind();
    if (kind == QLatin1String(lang::KindURL)) {
        TFrameURLForm* f = Service->FrameURL;
        if (!CheckFilled(f->EditURL, QStringLiteral("URL")) ||
            !CheckInteger(f->EditPort, QStringLiteral("URL Port"), 1, kMaxPort))
            return false;
        if (f->CheckBoxUseProxy->isChecked() &&
            (!CheckFilled(f->EditProxyServer, QStringLiteral("URL Proxy IP")) ||
             !CheckInteger(f->EditProxyPort, QStringLiteral("URL Proxy Port"), 1, kMaxPort)))
            return false;
        const UrlExpectation expect{UrlExpectModeFromKey(f->ExpectModeKey()), f->EditExpect->text()};
        if (!expect.isSet())
            return true;
        QString problem = UrlExpectationProblem(expect);
        if (problem.isEmpty() && HttpMethodFromText(f->ComboBoxMethod->currentText()) == HttpMethod::Head)
            problem = QStringLiteral("An answer to Head has no body to check: choose another method, or no "
                                     "expectation.");
        if (!problem.isEmpty()) {
            ShowFieldFailure(f->EditExpect, problem);
            return false;
        }
        return true;
    }
    if (kind == QLatin1String(lang::KindEmail)) {
        TFrameEmailForm* f = Service->FrameEmail;
        if (!CheckFilled(f->EditHost, QStringLiteral("Email Host")) ||
            !CheckInteger(f->EditPort, QStringLiteral("Email Port"), 1, kMaxPort))
            return false;
        // POP3 and IMAP are checked by logging in: without both, every check would fail and alarm.
        const QString method = f->ComboBoxMethod->currentText();
        if (method != QLatin1String(lang::KindPOP3) && method != QLatin1String(lang::KindIMAP))
            return true;
        for (const auto& [field, label] :
             {std::pair<QLineEdit*, const char*>{f->EditUserID, "Email User ID"},
              std::pair<QLineEdit*, const char*>{f->EditPassword, "Email Password"}}) {
            if (field->text().isEmpty()) {
                ShowFieldFailure(field, QString::fromLatin1(lang::LoginFieldEmpty)
                                            .replace(QLatin1String("%s"), QLatin1String(label)));
                return false;
            }
        }
        return true;
    }
    if (kind == QLatin1String(lang::KindPing)) {
        TFramePingForm* f = Service->FramePing;
        if (!CheckFilled(f->EditHost, QStringLiteral("Ping IP")))
            return false;
        // The port is optional; when given it must be a port number (or 0).
        return f->EditPort->text().isEmpty() ||
               CheckInteger(f->EditPort, QStringLiteral("Ping Port"), 0, kMaxPort);
    }
    if (kind == QLatin1String(lang::KindFTP)) {
        TFrameFTPForm* f = Service->FrameFTP;
        if (!CheckFilled(f->EditHost, QStringLiteral("FTP Host")) ||
            !CheckInteger(f->EditPort, QStringLiteral("FTP Port"), 1, kMaxPort))
            return false;
        if (f->CheckBoxUseProxy->isChecked() &&
            (!CheckFilled(f->EditProxyServer, QStringLiteral("FTP Proxy IP")) ||
             !CheckInteger(f->EditProxyPort, QStringLiteral("FTP Proxy Port"), 1, kMaxPort)))
            return false;
        return true;
    }
    if (kind == QLatin1String(lang::KindTCP)) {
        TFrameTCPForm* f = Service->FrameTCP;
        return CheckFilled(f->EditHost, QStringLiteral("TCP Host")) &&
               CheckInteger(f->EditPort, QStringLiteral("TCP Port"), 1, kMaxPort) &&
               CheckOneLine(f->EditSend, QStringLiteral("TCP Send"));
    }
    if (kind == QLatin1String(lang::KindDNS)) {
        TFrameDNSForm* f = Service->FrameDNS;
        return CheckFilled(f->EditName, QStringLiteral("DNS Name")) &&
               CheckInteger(f->EditPort, QStringLiteral("DNS Port"), 1, kMaxPort);
    }
    if (kind == QLatin1String(lang::KindCert)) {
        TFrameCertForm* f = Service->FrameCert;
        return CheckFilled(f->EditHost, QStringLiteral("Certificate Host")) &&
               CheckInteger(f->EditPort, QStringLiteral("Certificate Port"), 1, kMaxPort);
    }
    // A stored kind that no list item shows: the user has to choose one.
    ShowFieldFailure(Service->ComboBoxService, QString::fromLatin1(lang::SelectService));
    return false;
}

bool TServiceInputs::ValidateContacts()
{
    const bool toPersons = Alarms->CheckBoxEmail->isChecked() || Alarms->CheckBoxSMS->isChecked() ||
                           Alarms->CheckBoxSMSbyHTTP->isChecked();
    if (!toPersons || !Contacts->Ticked().isEmpty())
        return true;
    ShowFieldFailure(Contacts->ListViewContact, QString::fromLatin1(lang::SelectContactsForAlarm));
    return false;
}

void TServiceInputs::Normalise()
{
    const QString kind = Service->Kind();
    if (kind == QLatin1String(lang::KindURL))
        Service->FrameURL->Normalise();
    else if (kind == QLatin1String(lang::KindFTP))
        Service->FrameFTP->Normalise();
}

ServiceRecord TServiceInputs::Definition() const
{
    ServiceRecord d;
    const QString kind = Service->Kind();
    Schedule->Values(&d.ScheduleBy, &d.ScheduleHour, &d.ScheduleMinute);
    d.AlarmEmail = Alarms->CheckBoxEmail->isChecked();
    d.AlarmSmpp = Alarms->CheckBoxSMS->isChecked();
    d.AlarmHttpSms = Alarms->CheckBoxSMSbyHTTP->isChecked();
    d.AlarmSyslog = Alarms->CheckBoxSysLog->isChecked();
    if (kind == QLatin1String(lang::KindURL)) {
        const TFrameURLForm* f = Service->FrameURL;
        const bool proxy = f->CheckBoxUseProxy->isChecked();
        const bool proxyAuth = proxy && f->CheckBoxProxyAuthentication->isChecked();
        d.Service = kind;
        d.UrlMethod = f->ComboBoxMethod->currentText();
        d.Ip = f->EditURL->text();
        d.Port = fieldNumber(f->EditPort);
        if (f->CheckBoxAuthentication->isChecked()) {
            d.UserName = f->EditUsername->text();
            d.Password = f->EditPassword->text();
        }
        if (proxy) {
            d.ProxyIp = f->EditProxyServer->text();
            d.ProxyPort = fieldNumber(f->EditProxyPort);
        }
        if (proxyAuth) {
            d.ProxyUserName = f->EditProxyUsername->text();
            d.ProxyPassword = f->EditProxyPassword->text();
        }
        d.UrlRequest.Cookie = f->EditCookie->text();
        d.UrlRequest.HeaderData = f->EditHeaderInfo->text();
        d.UrlRequest.ContentType = f->EditContentType->text();
        d.UrlRequest.UserAgent = f->EditUserAgent->text();
        d.UrlRequest.Referer = f->EditReferer->text();
        d.UrlRequest.Accept = f->EditAccept->text();
        d.UrlRequest.AcceptCharSet = f->EditAcceptCharset->text();
        d.UrlRequest.AcceptEncoding = f->EditAcceptEncoding->text();
        d.UrlRequest.AcceptLanguage = f->EditAcceptLanguage->text();
        d.UrlRequest.PostFields = f->PostFields();
        d.UrlRequest.ExpectMode = f->ExpectModeKey();
        if (!d.UrlRequest.ExpectMode.isEmpty())
            d.UrlRequest.ExpectText = f->EditExpect->text();
    } else if (kind == QLatin1String(lang::KindEmail)) {
        const TFrameEmailForm* f = Service->FrameEmail;
        d.Service = f->ComboBoxMethod->currentText();
        d.Ip = f->EditHost->text();
        d.Port = fieldNumber(f->EditPort);
        d.UserName = f->EditUserID->text();
        d.Password = f->EditPassword->text();
    } else if (kind == QLatin1String(lang::KindPing)) {
        const TFramePingForm* f = Service->FramePing;
        d.Service = kind;
        d.Ip = f->EditHost->text();
        d.Port = fieldNumber(f->EditPort);
    } else if (kind == QLatin1String(lang::KindFTP)) {
        const TFrameFTPForm* f = Service->FrameFTP;
        const bool proxy = f->CheckBoxUseProxy->isChecked();
        const bool proxyAuth = proxy && f->CheckBoxProxyAuthentication->isChecked();
        d.Service = kind;
        d.Ip = f->EditHost->text();
        d.Port = fieldNumber(f->EditPort);
        d.UserName = f->EditUserID->text();
        d.Password = f->EditPassword->text();
        d.FtpProxyType = TFrameFTPForm::ProxyTypes().constFirst();
        if (proxy) {
            d.ProxyIp = f->EditProxyServer->text();
            d.ProxyPort = fieldNumber(f->EditProxyPort);
            d.FtpProxyType = f->ComboBoxProxyType->currentText();
        }
        if (proxyAuth) {
            d.ProxyUserName = f->EditProxyUsername->text();
            d.ProxyPassword = f->EditProxyPassword->text();
        }
    } else if (kind == QLatin1String(lang::KindTCP)) {
        const TFrameTCPForm* f = Service->FrameTCP;
        d.Service = kind;
        d.Ip = f->EditHost->text();
        d.Port = fieldNumber(f->EditPort);
        d.TcpSend = f->EditSend->text();
        d.TcpExpect = f->EditExpect->text();
    } else if (kind == QLatin1String(lang::KindDNS)) {
        const TFrameDNSForm* f = Service->FrameDNS;
        d.Service = kind;
        d.Ip = f->EditName->text();
        d.Port = fieldNumber(f->EditPort);
        d.DnsServer = f->EditServer->text();
        d.DnsType = f->ComboBoxRecordType->currentText();
        d.DnsExpect = f->EditExpect->text();
    } else if (kind == QLatin1String(lang::KindCert)) {
        const TFrameCertForm* f = Service->FrameCert;
        d.Service = kind;
        d.Ip = f->EditHost->text();
        d.Port = fieldNumber(f->EditPort);
        d.CertStartTls = f->StartTlsMode();
    }
    return d;
}

void TServiceInputs::RenderService(const ServiceRecord& d)
{
    Schedule->Render(d.ScheduleBy, d.ScheduleHour, d.ScheduleMinute);
    Service->SelectService(d.Service);
    const QString kind = KindOfService(d.Service);
    const bool proxy = !d.ProxyIp.isEmpty() && d.ProxyPort != 0;
    const bool proxyAuth = !d.ProxyUserName.isEmpty() || !d.ProxyPassword.isEmpty();
    const bool login = !d.UserName.isEmpty() || !d.Password.isEmpty();
    if (kind == QLatin1String(lang::KindURL)) {
        TFrameURLForm* f = Service->FrameURL;
        SelectComboText(f->ComboBoxMethod, d.UrlMethod);
        f->EditURL->setText(d.Ip);
        f->EditPort->setText(QString::number(d.Port));
        if (login) {
            f->CheckBoxAuthentication->setChecked(true);
            f->EditUsername->setText(d.UserName);
            f->EditPassword->setText(d.Password);
        }
        if (proxy) {
            f->CheckBoxUseProxy->setChecked(true);
            f->EditProxyServer->setText(d.ProxyIp);
            f->EditProxyPort->setText(QString::number(d.ProxyPort));
        }
        if (proxyAuth) {
            f->CheckBoxProxyAuthentication->setChecked(true);
            f->EditProxyUsername->setText(d.ProxyUserName);
            f->EditProxyPassword->setText(d.ProxyPassword);
        }
        f->EditCookie->setText(d.UrlRequest.Cookie);
        f->EditReferer->setText(d.UrlRequest.Referer);
        f->EditHeaderInfo->setText(d.UrlRequest.HeaderData);
        f->EditUserAgent->setText(d.UrlRequest.UserAgent);
        f->EditContentType->setText(d.UrlRequest.ContentType);
        f->EditAccept->setText(d.UrlRequest.Accept);
        f->EditAcceptCharset->setText(d.UrlRequest.AcceptCharSet);
        f->EditAcceptEncoding->setText(d.UrlRequest.AcceptEncoding);
        f->EditAcceptLanguage->setText(d.UrlRequest.AcceptLanguage);
        f->ListViewPostFields->clear();
        // Each stored row goes on top of the list, so the list shows them in reverse order.
        for (const auto& [name, value] : d.UrlRequest.PostFields)
            f->InsertPostField(name, value);
        f->RenderExpect(d.UrlRequest.ExpectMode, d.UrlRequest.ExpectText);
    } else if (kind == QLatin1String(lang::KindEmail)) {
        TFrameEmailForm* f = Service->FrameEmail;
        f->EditHost->setText(d.Ip);
        f->EditPort->setText(QString::number(d.Port));
        f->EditUserID->setText(d.UserName);
        f->EditPassword->setText(d.Password);
    } else if (kind == QLatin1String(lang::KindPing)) {
        TFramePingForm* f = Service->FramePing;
        f->EditHost->setText(d.Ip);
        f->EditPort->setText(portText(d.Port));
    } else if (kind == QLatin1String(lang::KindFTP)) {
        TFrameFTPForm* f = Service->FrameFTP;
        f->EditHost->setText(d.Ip);
        f->EditPort->setText(QString::number(d.Port));
        if (login) {
            f->EditUserID->setText(d.UserName);
            f->EditPassword->setText(d.Password);
        }
        if (proxy) {
            f->CheckBoxUseProxy->setChecked(true);
            f->EditProxyServer->setText(d.ProxyIp);
            f->EditProxyPort->setText(QString::number(d.ProxyPort));
        }
        SelectComboText(f->ComboBoxProxyType, d.FtpProxyType);
        if (proxyAuth) {
            f->CheckBoxProxyAuthentication->setChecked(true);
            f->EditProxyUsername->setText(d.ProxyUserName);
            f->EditProxyPassword->setText(d.ProxyPassword);
        }
    } else if (kind == QLatin1String(lang::KindTCP)) {
        TFrameTCPForm* f = Service->FrameTCP;
        f->EditHost->setText(d.Ip);
        f->EditPort->setText(QString::number(d.Port));
        f->EditSend->setText(d.TcpSend);
        f->EditExpect->setText(d.TcpExpect);
    } else if (kind == QLatin1String(lang::KindDNS)) {
        TFrameDNSForm* f = Service->FrameDNS;
        f->EditName->setText(d.Ip);
        f->EditServer->setText(d.DnsServer);
        f->EditPort->setText(QString::number(d.Port));
        // A stored row without a type asks for "A", the list's first item.
        if (!d.DnsType.isEmpty())
            SelectComboText(f->ComboBoxRecordType, d.DnsType.toUpper());
        f->EditExpect->setText(d.DnsExpect);
    } else if (kind == QLatin1String(lang::KindCert)) {
        TFrameCertForm* f = Service->FrameCert;
        f->EditHost->setText(d.Ip);
        f->EditPort->setText(QString::number(d.Port));
        f->ShowStartTlsMode(d.CertStartTls);
    }
    Alarms->CheckBoxEmail->setChecked(d.AlarmEmail);
    Alarms->CheckBoxSMS->setChecked(d.AlarmSmpp);
    Alarms->CheckBoxSMSbyHTTP->setChecked(d.AlarmHttpSms);
    Alarms->CheckBoxSysLog->setChecked(d.AlarmSyslog);
}

ServiceRecord TServiceInputs::RenderService(int id)
{
    const std::optional<ServiceRecord> stored = ServiceStore::Read(id);
    if (!stored)
        throw DatabaseError(QStringLiteral("There is no service with the id %1.").arg(id));
    const ServiceRecord& d = *stored;
    const QList<int> persons = ServiceStore::AttachedPersons(id);
    RenderService(d);
    Contacts->TickPersons(persons);
    return d;
}

QList<ContactChoice> TServiceInputs::TickedContacts() const
{
    return Contacts->Ticked();
}
