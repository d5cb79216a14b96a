#include "gui/DialogOpener.h"

#include "checks/ThreadCheck.h"
#include "gui/dialogs/alarmSettings.h"
#include "gui/dialogs/chartings.h"
#include "gui/dialogs/contactGroupsSettings.h"
#include "gui/dialogs/contactSettings.h"
#include "gui/dialogs/scheduling.h"
#include "gui/dialogs/settings.h"
#include "gui/dialogs/setupScheduling.h"
#include "gui/dialogs/updateScheduling.h"
#include "gui/menu.h"
#include "monitor/MonitorEngine.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

// The opener of the main window that exists now.
DialogOpener* g_opener = nullptr;

template <typename Form> Form* existing(DialogKind kind)
{
    return g_opener ? static_cast<Form*>(g_opener->Find(kind)) : nullptr;
}

int index(DialogKind kind)
{
    return static_cast<int>(kind);
}

} // namespace

DialogOpener::DialogOpener(TFormMenu* main, MonitorEngine* engine)
    : QObject(main), m_main(main), m_engine(engine)
{
    g_opener = this;
}

DialogOpener::~DialogOpener()
{
    if (g_opener == this)
        g_opener = nullptr;
}

TFormDialog* DialogOpener::Find(DialogKind kind) const
{
    return m_dialogs[index(kind)].data();
}

TFormDialog* DialogOpener::Open(DialogKind kind)
{
    TFormDialog* dialog = Find(kind);
    const bool created = !dialog;
    if (created) {
        dialog = create(kind);
        m_dialogs[index(kind)] = dialog;
        connectToMain(dialog);
        placeNew(kind, dialog);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    afterShow(kind, dialog, created);
    return dialog;
}

TFormDialog* DialogOpener::create(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Scheduling:
        return new TFormScheduling(m_main);
    case DialogKind::Chart:
        return new TFormChartings(m_main);
    case DialogKind::AlarmOptions:
        return new TFormAlarmingSettings(m_main);
    case DialogKind::ContactOptions:
        return new TFormContactSettings(m_main);
    case DialogKind::ContactGroupOptions:
        return new TFormContactGroupsSettings(m_main);
    case DialogKind::GeneralOptions:
        return new TFormSettings(m_main);
    case DialogKind::NewService: {
        auto* wizard = new TFormSetupScheduling(m_main);
        connect(wizard, &TFormSetupScheduling::contactsWindowRequested, this,
                [this, wizard] { wizard->WatchContactsWindow(Open(DialogKind::ContactOptions)); });
        return wizard;
    }
    case DialogKind::UpdateService:
    case DialogKind::Count:
        break;
    }
    return new TFormUpdateScheduling(m_main);
}

void DialogOpener::connectToMain(TFormDialog* dialog)
{
    TFormMenu* main = m_main;
    MonitorEngine* engine = m_engine;
    connect(dialog, &TFormDialog::statusReported, main, &TFormMenu::ShowMainStatus);
    connect(dialog, &TFormDialog::lockRequested, main, &TFormMenu::LockForDialog);
    connect(dialog, &TFormDialog::closed, main, [main] {
        main->SetMainMenusEnabled(true);
        main->SetMainToolbarEnabled(true);
    });
    connect(dialog, &TFormDialog::servicesChanged, main, [main, engine](const QString& filter) {
        main->FillServiceList(filter.isEmpty() ? engine->CurrentFilter() : filter);
        main->FillHostTree();
    });
}

void DialogOpener::placeNew(DialogKind kind, TFormDialog* dialog)
{
    if (kind != DialogKind::AlarmOptions)
        return;
    // Centred on the screen before its first showing; later showings keep where the user put it.
    if (QScreen* screen = m_main->screen() ? m_main->screen() : QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), dialog->sizeHint().expandedTo(dialog->size()));
        frame.moveCenter(screen->availableGeometry().center());
        dialog->move(frame.topLeft());
    }
}

void DialogOpener::afterShow(DialogKind kind, TFormDialog* dialog, bool created)
{
    switch (kind) {
    case DialogKind::Chart:
        static_cast<TFormChartings*>(dialog)->LoadHistory();
        break;
    case DialogKind::NewService:
        if (created) // over the main window, once
            dialog->move(m_main->geometry().center() - dialog->rect().center());
        break;
    case DialogKind::UpdateService: {
        if (created) {
            if (QScreen* screen = dialog->screen())
                dialog->move(screen->availableGeometry().center() - dialog->rect().center());
        }
        TextTableModel* services = m_engine->ServiceList();
        const int row = services->selectedRow();
        const int id =
            row >= 0 && row < services->rowCount() ? services->cell(row, MonitorEngine::SvcId).toInt() : 0;
        static_cast<TFormUpdateScheduling*>(dialog)->ShowSelectedService(id, created);
        break;
    }
    default:
        break;
    }
}

TFormScheduling* FormScheduling()
{
    return existing<TFormScheduling>(DialogKind::Scheduling);
}

TFormChartings* FormChartings()
{
    return existing<TFormChartings>(DialogKind::Chart);
}

TFormAlarmingSettings* FormAlarmingSettings()
{
    return existing<TFormAlarmingSettings>(DialogKind::AlarmOptions);
}

TFormContactSettings* FormContactSettings()
{
    return existing<TFormContactSettings>(DialogKind::ContactOptions);
}

TFormContactGroupsSettings* FormContactGroupsSettings()
{
    return existing<TFormContactGroupsSettings>(DialogKind::ContactGroupOptions);
}

TFormSettings* FormSettings()
{
    return existing<TFormSettings>(DialogKind::GeneralOptions);
}

TFormSetupScheduling* FormSetupScheduling()
{
    return existing<TFormSetupScheduling>(DialogKind::NewService);
}

TFormUpdateScheduling* FormUpdateScheduling()
{
    return existing<TFormUpdateScheduling>(DialogKind::UpdateService);
}
