#include "gui/dialogs/updateScheduling.h"

#include "core/Notifier.h"
#include "core/SystemLog.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "gui/Theme.h"
#include "gui/dialogs/DialogSupport.h"
#include "gui/dialogs/FrameKit.h"
#include "gui/dialogs/FrameURL.h"
#include "monitor/MonitorEngine.h"
#include "monitor/TextTableModel.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCollator>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace {

const char* const kNoPort = "---";

// The locale's case-sensitive comparison of two texts.
int compareTexts(const QString& a, const QString& b)
{
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseSensitive);
        return c;
    }();
    return collator.compare(a, b);
}

// Compares texts piece by piece: runs of digits by their value, the text between them as texts,
// so that "every 5 min" comes before "every 10 min".
int compareWithNumbers(const QString& a, const QString& b)
{
    static const QRegularExpression pieces(QStringLiteral("\\d+|\\D+"));
    QRegularExpressionMatchIterator i = pieces.globalMatch(a);
    QRegularExpressionMatchIterator j = pieces.globalMatch(b);
    while (i.hasNext() && j.hasNext()) {
        const QString x = i.next().captured();
        const QString y = j.next().captured();
        const bool numbers = x.front().isDigit() && y.front().isDigit();
        const int order = numbers
                              ? (x.toULongLong() < y.toULongLong() ? -1 : x.toULongLong() > y.toULongLong())
                              : compareTexts(x, y);
        if (order != 0)
            return order;
    }
    return i.hasNext() ? 1 : (j.hasNext() ? -1 : 0);
}

// A row of the service list. Texts compare with the locale's case-sensitive comparison; the id
// and the port compare as numbers ("---" being 0), the interval with its numbers as numbers.
class ServiceRowItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const QString a = text(column);
        const QString b = other.text(column);
        if (column == TFormUpdateScheduling::ColId || column == TFormUpdateScheduling::ColPort)
            return numberOf(a) < numberOf(b);
        if (column == TFormUpdateScheduling::ColInterval)
            return compareWithNumbers(a, b) < 0;
        return compareTexts(a, b) < 0;
    }

private:
    static qlonglong numberOf(const QString& text)
    {
        return text == QLatin1String(kNoPort) ? 0 : text.toLongLong();
    }
};

// Puts `values` in place of the "%s" markers of `text`, in order.
QString fillPlaceholders(QString text, const QStringList& values)
{
    int from = 0;
    for (const QString& value : values) {
        const int at = text.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        text.replace(at, 2, value);
        from = at + value.size();
    }
    return text;
}

QString errorText(const char* code, const std::exception& error)
{
    return QString::fromLatin1(code) + QStringLiteral(" : ") + QString::fromUtf8(error.what());
}

} // namespace

QString IntervalText(const QString& by, const QString& hour, const QString& minute)
{
    if (by == QLatin1String(lang::ScheduleDaily))
        return QStringLiteral("on ") + hour + QLatin1Char(':') + minute;
    if (by == QLatin1String(lang::ScheduleHourly))
        return QStringLiteral("on ") + minute + QStringLiteral(" min");
    if (by == QLatin1String(lang::ScheduleMinutely))
        return QStringLiteral("every ") + minute + QStringLiteral(" min");
    return QString();
}

QString AlarmMethodsText(const QString& email, const QString& smpp, const QString& httpSms,
                         const QString& syslog)
{
    QStringList names;
    const QString yes = QStringLiteral("y");
    if (email == yes)
        names << QString::fromLatin1(lang::MethodEmail);
    if (smpp == yes)
        names << QString::fromLatin1(lang::MethodSMS);
    if (httpSms == yes)
        names << QString::fromLatin1(lang::MethodSMSbyHTTP);
    if (syslog == yes)
        names << QString::fromLatin1(lang::MethodSysLog);
    return names.join(QLatin1Char('/'));
}

void TFormUpdateScheduling::ShowSelectedService(int serviceId, bool justCreated)
{
    if (serviceId <= 0) {
        ShowStatus(QString::fromLatin1(lang::SelectServiceForUpdate));
        return;
    }
    // Loading another service (or the same one again) would drop what was typed: ask first.
    if (!justCreated && HasUnsavedChanges()) {
        QString service, ip, port;
        if (QTreeWidgetItem* shown = rowOfId(CurrentServiceId())) {
            service = shown->text(ColService);
            ip = shown->text(ColIp);
            port = shown->text(ColPort);
        }
        if (!ShowConfirmationBox(
                fillPlaceholders(QString::fromLatin1(lang::DiscardServiceChanges), {service, ip, port})))
            return;
    }
    LoadService(serviceId);
}

TFormUpdateScheduling::TFormUpdateScheduling(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormUpdateScheduling"));
    setWindowTitle(QStringLiteral("Update Services"));

    PageControl = new QTabWidget;
    auto* schedulePage = new QWidget;
    auto* scheduleLayout = new QVBoxLayout(schedulePage);
    scheduleLayout->addWidget(m_inputs.Schedule, 1);
    ComboBoxStatus = new QComboBox;
    ComboBoxStatus->addItems({QString::fromLatin1(lang::StateStart), QString::fromLatin1(lang::StateStop)});
    auto* statusCaption = new QLabel(QStringLiteral("Please select the service status :"));
    statusCaption->setBuddy(ComboBoxStatus);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(statusCaption);
    statusRow->addWidget(ComboBoxStatus);
    statusRow->addStretch(1);
    scheduleLayout->addLayout(statusRow);
    PageControl->addTab(schedulePage, QStringLiteral("Schedule"));
    PageControl->addTab(m_inputs.Service, QStringLiteral("Service"));
    PageControl->addTab(m_inputs.Alarms, QStringLiteral("Alarm"));
    PageControl->addTab(m_inputs.Contacts, QStringLiteral("Contact"));

    ButtonSave = new QPushButton(QStringLiteral("Save"));
    ButtonDelete = new QPushButton(QStringLiteral("Delete"));
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {ButtonSave, ButtonDelete, ButtonCancel}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }

    buildServiceList();

    StatusBar = new QStatusBar;
    StatusBar->setSizeGripEnabled(false);
    m_statusPanel = new QLabel;
    StatusBar->addWidget(m_statusPanel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl, 3);
    layout->addLayout(buttons);
    layout->addWidget(GroupBoxList, 2);
    layout->addWidget(StatusBar);
    resize(860, 680);

    connect(ButtonSave, &QPushButton::clicked, this, &TFormUpdateScheduling::ButtonSaveClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormUpdateScheduling::ButtonDeleteClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormUpdateScheduling::ButtonCancelClick);
    connect(ListViewService, &QTreeWidget::itemDoubleClicked, this,
            &TFormUpdateScheduling::ListViewServiceDblClick);
    connect(ListViewService->header(), &QHeaderView::sectionClicked, this,
            &TFormUpdateScheduling::ListViewServiceColumnClick);
    connect(m_inputs.Service->FrameURL, &TFrameURLForm::statusText, this, &TFormUpdateScheduling::ShowStatus);
    watchEdits();

    SetCaptionsAsAccessibleNames(this);
}

// The list of stored services under the inputs, in the columns of the main window's list.
void TFormUpdateScheduling::buildServiceList()
{
    GroupBoxList = new QGroupBox(QStringLiteral("Scheduling Lists"));
    ListViewService = new QTreeWidget;
    ListViewService->setAccessibleName(QStringLiteral("Scheduling Lists"));
    ListViewService->setColumnCount(8);
    ListViewService->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Service"), QStringLiteral("IP"),
                                      QStringLiteral("Port"), QStringLiteral("By"),
                                      QStringLiteral("Interval"), QStringLiteral("Alarm Methods"),
                                      QStringLiteral("Status")});
    ListViewService->setRootIsDecorated(false);
    ListViewService->setUniformRowHeights(true);
    ListViewService->setAllColumnsShowFocus(true);
    ListViewService->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewService->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewService->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PaintOddRows(ListViewService, Theme::OddRow);
    QHeaderView* header = ListViewService->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    ListViewService->setColumnHidden(ColId, true);
    const QFontMetrics metrics(ListViewService->font());
    const auto width = [&metrics](int pixels, const char* sample) {
        return std::max(pixels, metrics.horizontalAdvance(QString::fromLatin1(sample)) + 14);
    };
    ListViewService->setColumnWidth(ColService, width(60, "SMTP"));
    header->setSectionResizeMode(ColIp, QHeaderView::Stretch);
    ListViewService->setColumnWidth(ColPort, width(45, "65535"));
    ListViewService->setColumnWidth(ColBy, width(45, "Minutely"));
    ListViewService->setColumnWidth(ColInterval, width(70, "every 30 min"));
    ListViewService->setColumnWidth(ColAlarmMethods, width(150, "Email/SysLog"));
    auto* listLayout = new QVBoxLayout(GroupBoxList);
    listLayout->addWidget(ListViewService);
}

void TFormUpdateScheduling::watchEdits()
{
    // Only what the user does counts as a change: loading a service writes the same inputs.
    const auto changed = [this] { m_modified = true; };
    for (QWidget* page : std::initializer_list<QWidget*>{m_inputs.Schedule, m_inputs.Service, m_inputs.Alarms,
                                                         m_inputs.Contacts}) {
        for (QLineEdit* edit : page->findChildren<QLineEdit*>())
            connect(edit, &QLineEdit::textEdited, this, changed);
        for (QComboBox* list : page->findChildren<QComboBox*>())
            connect(list, QOverload<int>::of(&QComboBox::activated), this, changed);
        for (QAbstractButton* button : page->findChildren<QAbstractButton*>())
            connect(button, &QAbstractButton::clicked, this, changed);
        for (QAbstractItemView* view : page->findChildren<QAbstractItemView*>())
            connect(view, &QAbstractItemView::doubleClicked, this, changed);
    }
    connect(ComboBoxStatus, QOverload<int>::of(&QComboBox::activated), this, changed);
    // A contact ticked by mouse, key or assistive technology; the list's own filling and the
    // ticks of a loaded service are undone by the load clearing the mark.
    connect(m_inputs.Contacts->ListViewContact, &QTreeWidget::itemChanged, this, changed);
}

bool TFormUpdateScheduling::HasUnsavedChanges() const
{
    return m_currentId != 0 && m_modified;
}

TFormUpdateScheduling::~TFormUpdateScheduling() = default;

QString TFormUpdateScheduling::StatusText() const
{
    return m_statusPanel->text();
}

void TFormUpdateScheduling::ShowStatus(const QString& text)
{
    m_statusPanel->setText(text);
}

void TFormUpdateScheduling::FormShow()
{
    reset();
    PageControl->setCurrentIndex(0);
    FillList();
    ShowStatus(QString());
}

void TFormUpdateScheduling::reset()
{
    m_currentId = 0;
    m_loadedStatus.clear();
    m_modified = false;
    ButtonSave->setEnabled(false);
    ButtonDelete->setEnabled(false);
    m_inputs.ResetAll();
}

void TFormUpdateScheduling::FillList()
{
    ListViewService->clear();
    try {
        QList<QTreeWidgetItem*> rows;
        for (const ServiceListRow& row : ServiceStore::ListRows()) {
            rows << new ServiceRowItem(QStringList{
                row.Id, row.Service, row.Ip,
                row.Port == QLatin1String("0") || row.Port.isEmpty() ? QString::fromLatin1(kNoPort)
                                                                     : row.Port,
                row.ScheduleBy, IntervalText(row.ScheduleBy, row.ScheduleHour, row.ScheduleMinute),
                AlarmMethodsText(row.AlarmEmail, row.AlarmSmpp, row.AlarmHttpSms, row.AlarmSyslog),
                row.Status});
        }
        ListViewService->addTopLevelItems(rows);
    } catch (const std::exception& error) {
        WriteSystemLog(QStringLiteral("Reading the service list failed : ") + QString::fromUtf8(error.what()),
                       LogLevel::ERROR);
    }
}

QTreeWidgetItem* TFormUpdateScheduling::rowOfId(int id) const
{
    const QString key = QString::number(id);
    for (int i = 0; i < ListViewService->topLevelItemCount(); ++i) {
        if (ListViewService->topLevelItem(i)->text(ColId) == key)
            return ListViewService->topLevelItem(i);
    }
    return nullptr;
}

bool TFormUpdateScheduling::LoadService(int id)
{
    // Always from reset inputs: a service shown before must leave nothing (a Post row, a tick)
    // in the inputs of this one.
    reset();
    if (QTreeWidgetItem* row = rowOfId(id))
        ListViewService->setCurrentItem(row);
    try {
        const ServiceRecord stored = m_inputs.RenderService(id);
        SelectComboText(ComboBoxStatus, stored.Status);
        m_loadedStatus = stored.Status;
    } catch (const std::exception& error) {
        reset();
        const QString text = errorText(lang::ERR00107, error);
        WriteSystemLog(text, LogLevel::ERROR);
        ShowErrorBox(text);
        ShowStatus(QString::fromLatin1(lang::ServiceNotLoaded));
        return false;
    }
    m_currentId = id;
    m_modified = false;
    ButtonSave->setEnabled(true);
    ButtonDelete->setEnabled(true);
    ShowStatus(QString::fromLatin1(lang::CanUpdateOrDeleteRecord));
    return true;
}

void TFormUpdateScheduling::ListViewServiceDblClick()
{
    QTreeWidgetItem* row = ListViewService->currentItem();
    if (!row || !row->isSelected()) {
        reset();
        return;
    }
    LoadService(row->text(ColId).toInt());
}

void TFormUpdateScheduling::ListViewServiceColumnClick(int column)
{
    if (column < 0)
        return;
    if (column >= m_sortDescending.size())
        m_sortDescending.resize(column + 1);
    ListViewService->sortItems(column, m_sortDescending[column] ? Qt::DescendingOrder : Qt::AscendingOrder);
    m_sortDescending[column] = !m_sortDescending[column];
}

void TFormUpdateScheduling::ButtonSaveClick()
{
    if (m_currentId == 0)
        return;
    if (!m_inputs.ValidateSchedule() || !m_inputs.ValidateServiceFields() || !m_inputs.ValidateContacts())
        return;
    m_inputs.Normalise();
    ServiceRecord definition = m_inputs.Definition();
    // A status box left as it was shown keeps the stored status, which Start or Stop in the main
    // window may have changed meanwhile; only a status chosen here is written.
    const QString chosenStatus = ComboBoxStatus->currentText();
    definition.Status = chosenStatus == m_loadedStatus ? QString() : chosenStatus;
    ServiceStore::UpdateOutcome outcome = ServiceStore::UpdateOutcome::Updated;
    std::optional<ServiceRecord> saved;
    try {
        outcome = ServiceStore::Update(m_currentId, definition, m_inputs.TickedContacts());
        if (outcome == ServiceStore::UpdateOutcome::Updated)
            saved = ServiceStore::Read(m_currentId);
    } catch (const std::exception& error) {
        const QString text = errorText(lang::ERR00106, error);
        WriteSystemLog(text, LogLevel::ERROR);
        ShowErrorBox(text);
        return;
    }
    if (outcome == ServiceStore::UpdateOutcome::NoSuchService) {
        reset();
        FillList();
        emit servicesChanged(QStringLiteral("ALL"));
        ShowInformationBox(QString::fromLatin1(lang::ServiceNoLongerExists));
        ShowStatus(QString::fromLatin1(lang::ServiceNoLongerExists));
        return;
    }
    if (saved) {
        SelectComboText(ComboBoxStatus, saved->Status);
        m_loadedStatus = saved->Status;
    }
    m_modified = false;
    emit servicesChanged(QStringLiteral("ALL"));
    FillList();
    if (QTreeWidgetItem* row = rowOfId(m_currentId))
        ListViewService->setCurrentItem(row);
    ShowStatus(QString::fromLatin1(lang::ServiceUpdated));
}

void TFormUpdateScheduling::ButtonDeleteClick()
{
    if (m_currentId == 0)
        return;
    // The row selected in the list, which a single click may have moved off the loaded service.
    QTreeWidgetItem* row = ListViewService->currentItem();
    if (!row || !row->isSelected())
        return;
    const int id = row->text(ColId).toInt();
    const QString question = fillPlaceholders(QString::fromLatin1(lang::ConfirmDeleteService),
                                              {row->text(ColService), row->text(ColIp), row->text(ColPort)});
    if (!ShowConfirmationBox(question))
        return;
    try {
        ServiceStore::Delete(id);
    } catch (const std::exception& error) {
        const QString text = errorText(lang::ERR00106, error);
        WriteSystemLog(text, LogLevel::ERROR);
        ShowErrorBox(text);
        return;
    }
    reset();
    FillList();
    emit servicesChanged(QString());
    ShowStatus(QString::fromLatin1(lang::ServiceDeleted));
}

void TFormUpdateScheduling::ButtonCancelClick()
{
    close();
}
