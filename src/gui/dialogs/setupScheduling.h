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
class TestRunner;
class ThreadCheck;

// The new-service wizard: schedule, kind and address, a connection test, alarm methods and
// contacts on six pages; Finish stores the new service and shows it in the main window.
class TFormSetupScheduling : public TFormDialog
{
    Q_OBJECT

public:
    explicit TFormSetupScheduling(QWidget* parent = nullptr);
    ~TFormSetupScheduling() override;

    // The result of the current connection test: its word in the result box, its detail (or why
    // it did not run) under it, cut to the window with the whole text as tool tip.
    void ShowTestResult(const QString& text, const QString& detail);

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
    // Runs the connection test; only the latest test since the last showing is answered.
    TestRunner* m_tests = nullptr;
    QWidget* m_contactPage = nullptr;
    QPointer<QWidget> m_contactsWindow; // the contacts window whose hiding is watched
    bool m_contactsOpenedHere = false;  // the contacts window was opened by "New Contact..."
};

// Builds the work item of a connection test for a definition: the check the scheduler would
// build for it, as a test ("Setup", no service id, no retry, no alarms).
std::unique_ptr<ThreadCheck> BuildTestCheck(const ServiceRecord& d);
