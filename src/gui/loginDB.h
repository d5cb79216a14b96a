#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class TFormMenu;

// The database login dialog, shown when no connection could be made at start-up. Connect takes
// the four values into the settings and connects (or creates the database on a first start);
// success hides the dialog and lets the main window start the monitoring cycle 3 s later.
class TFormLoginDB : public QWidget
{
    Q_OBJECT

public:
    explicit TFormLoginDB(TFormMenu* menu);

    void ButtonConnectClick();
    void ButtonCancelClick();
    QString StatusText() const;

    QLineEdit* EditHost = nullptr;
    QLineEdit* EditUsername = nullptr;
    QLineEdit* EditPassword = nullptr;
    QLineEdit* EditPort = nullptr;
    QPushButton* ButtonConnect = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QStatusBar* StatusBarLogin = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();

    TFormMenu* m_menu;
    QLabel* m_status = nullptr;
};
