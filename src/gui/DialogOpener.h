#pragma once

#include <QObject>
#include <QPointer>

#include <array>

class MonitorEngine;
class TFormAlarmingSettings;
class TFormChartings;
class TFormContactGroupsSettings;
class TFormContactSettings;
class TFormDialog;
class TFormMenu;
class TFormScheduling;
class TFormSettings;
class TFormSetupScheduling;
class TFormUpdateScheduling;

// The configuration windows the main window's commands open.
enum class DialogKind
{
    Scheduling,          // Quorvel > Scheduling, the Scheduling button
    Chart,               // View > Chart, the Chart button
    AlarmOptions,        // Alarms > Alarm Options, the Alarm button
    ContactOptions,      // Alarms > Contact Options, the wizard's New Contact...
    ContactGroupOptions, // Alarms > Contact Group Options
    GeneralOptions,      // Options > General, the General button
    NewService,          // New Service in the menus, the Service button
    UpdateService,       // Update Service, a double click on a service row
    Count
};

// Opens the main window's configuration windows by their kind. Each window is created on first
// use, kept until the main window goes and shown again by later openings. The opener ties what a
// window reports (status lines, changed services, closing) to the main window, so neither knows
// the other's insides.
class DialogOpener : public QObject
{
    Q_OBJECT

public:
    DialogOpener(TFormMenu* main, MonitorEngine* engine);
    ~DialogOpener() override;

    // Shows the window of `kind` (created when it does not exist yet), raised and activated.
    TFormDialog* Open(DialogKind kind);
    // The window of `kind` while it exists, else nullptr.
    TFormDialog* Find(DialogKind kind) const;

private:
    TFormDialog* create(DialogKind kind);
    void connectToMain(TFormDialog* dialog);
    void placeNew(DialogKind kind, TFormDialog* dialog);
    void afterShow(DialogKind kind, TFormDialog* dialog, bool created);

    TFormMenu* m_main;
    MonitorEngine* m_engine;
    std::array<QPointer<TFormDialog>, static_cast<int>(DialogKind::Count)> m_dialogs;
};

// The main window's configuration windows while they exist, else nullptr.
TFormScheduling* FormScheduling();
TFormChartings* FormChartings();
TFormAlarmingSettings* FormAlarmingSettings();
TFormContactSettings* FormContactSettings();
TFormContactGroupsSettings* FormContactGroupsSettings();
TFormSettings* FormSettings();
TFormSetupScheduling* FormSetupScheduling();
TFormUpdateScheduling* FormUpdateScheduling();
