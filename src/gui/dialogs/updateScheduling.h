#pragma once

#include "gui/dialogs/ServiceDefinition.h"
#include "gui/dialogs/TFormDialog.h"

#include <QVector>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The service editor: lists every stored service, loads one into the shared definition inputs,
// saves its changes or deletes it with its dependent rows.
class TFormUpdateScheduling : public TFormDialog
{
    Q_OBJECT

public:
    // Columns of the service list.
    enum Column
    {
        ColId,
        ColService,
        ColIp,
        ColPort,
        ColBy,
        ColInterval,
        ColAlarmMethods,
        ColStatus
    };

    explicit TFormUpdateScheduling(QWidget* parent = nullptr);
    ~TFormUpdateScheduling() override;

    // Loads service `id` into the inputs (starting from reset inputs) and selects its row. Save
    // and Delete are enabled only once everything was read; a failure resets the inputs and
    // says so. Returns whether the service was loaded.
    bool LoadService(int id);
    // Shows the service the main window's list has selected (`serviceId`, 0 when none): asks
    // before typed changes are dropped, unless the window was just created.
    void ShowSelectedService(int serviceId, bool justCreated);
    // Fills the service list afresh from the database, in the order of the query.
    void FillList();

    void ButtonSaveClick();
    void ButtonDeleteClick();
    void ButtonCancelClick();
    void ListViewServiceDblClick();
    // A click on a column header: sorts by that column, each column alternating its direction.
    void ListViewServiceColumnClick(int column);

    int CurrentServiceId() const { return m_currentId; }
    // A service is loaded and the user has changed an input since it was loaded or saved.
    bool HasUnsavedChanges() const;
    // The list row of service `id`, or nullptr.
    QTreeWidgetItem* rowOfId(int id) const;
    QString StatusText() const;
    void ShowStatus(const QString& text);
    TServiceInputs& Inputs() { return m_inputs; }

    QTabWidget* PageControl = nullptr;
    QComboBox* ComboBoxStatus = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QGroupBox* GroupBoxList = nullptr;
    QTreeWidget* ListViewService = nullptr;
    QStatusBar* StatusBar = nullptr;

protected:
    void FormShow() override;

private:
    void buildServiceList();
    // Nothing loaded; the inputs back to a new definition (the status list keeps its value).
    void reset();
    // Marks the loaded service as changed on every edit of an input by the user.
    void watchEdits();

    TServiceInputs m_inputs;
    QLabel* m_statusPanel = nullptr;
    int m_currentId = 0;
    bool m_modified = false; // the user changed an input since the service was loaded or saved
    QString m_loadedStatus;  // the status the loaded service had when shown, or after a save
    QVector<bool> m_sortDescending;
};

// "on 07:30", "on 15 min", "every 10 min", or empty for an unknown schedule.
QString IntervalText(const QString& by, const QString& hour, const QString& minute);
// The names of the alarm methods whose flags are "y", joined with "/".
QString AlarmMethodsText(const QString& email, const QString& smpp, const QString& httpSms,
                         const QString& syslog);
