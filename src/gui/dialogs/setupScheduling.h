#pragma once

#include "gui/dialogs/ServiceDefinition.h"
#include "gui/dialogs/TFormDialog.h"

#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class ThreadCheck;

// The new-service wizard: schedule, kind and address, a connection test, alarm methods and
// contacts on six pages; Finish stores the new service and shows it in the main window.
class TFormSetupScheduling : public TFormDialog
{
    Q_OBJECT

public:
    explicit TFormSetupScheduling(QWidget* parent = nullptr);
    ~TFormSetupScheduling() override;

    // The result of a connection test, handed over by the engine. Only the result of the latest
    // test started since the wizard was last shown is taken; others are ignored.
    // The result of the current test: its word in the result box, its detail (or why it did not
    // run) under it, cut to the window with the whole text as tool tip.
    void ShowTestResult(const QString& text, int itemId, const QString& detail);

    void ButtonNextClick();
    void ButtonBackClick();
    void ButtonTestClick();
    void ButtonHelpClick();
    void ButtonCancelClick();
    // Asks for the contacts window on top of the wizard; the contact step lists the persons made
    // there once it closes.
    void ButtonNewContactClick();
    // The contacts window opened for "New Contact...": watched until it closes.
    void WatchContactsWindow(QWidget* form);

    // Queues a connection test and answers its pool Id (0 when nothing runs); the main window
    // hands the engine's queue over when it creates the wizard.
    using TestQueue = std::function<int(std::unique_ptr<ThreadCheck>)>;
    void SetTestQueue(TestQueue queue) { m_testQueue = std::move(queue); }

    int CurrentStep() const { return m_step; }
    QString StatusText() const;
    TServiceInputs& Inputs() { return m_inputs; }

    QTabWidget* PageControl = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonBack = nullptr;
    QPushButton* ButtonNext = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonNewContact = nullptr;
    QLabel* LabelService = nullptr;
    QLabel* LabelIP = nullptr;
    QLabel* LabelPort = nullptr;
    QPlainTextEdit* MemoResult = nullptr;
    QLabel* LabelTestDetail = nullptr;
    QStatusBar* StatusBar = nullptr;

signals:
    // "New Contact..." was clicked: the contacts window is wanted.
    void contactsWindowRequested();

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildTestPage();
    QWidget* buildContactPage();
    void connectControls();
    void showStatus(const QString& text);
    // Shows page `index` and makes `index` the current step, without the tab-click handling.
    void goToStep(int index);
    // Reads the contact list again when page `index` is the contact step.
    void refreshContactsOn(int index);
    void pageChanged(int index);
    void setNextCaption(bool finish);
    void fillStep3Labels();
    // Runs a validation whose page switches must not count as the user's tab clicks.
    template <typename Check> bool validate(Check check);
    void save();

    TServiceInputs m_inputs;
    QLabel* m_statusPanel = nullptr;
    int m_step = 0;
    bool m_switchingPages = false;
    bool m_saved = false; // the shown definition has been stored; Finish does nothing more
    int m_testItemId = 0; // pool Id of the test whose result is awaited, 0 when none
    QWidget* m_contactPage = nullptr;
    QPointer<QWidget> m_contactsWindow; // the contacts window whose hiding is watched
    TestQueue m_testQueue;
    bool m_contactsOpenedHere = false; // the contacts window was opened by "New Contact..."
};

// Builds the work item of a connection test for a definition: the check the scheduler would
// build for it, as a test ("Setup", no service id, no retry, no alarms).
std::unique_ptr<ThreadCheck> BuildTestCheck(const ServiceRecord& d);
