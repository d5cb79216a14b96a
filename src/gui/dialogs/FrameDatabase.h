#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QTabWidget;

// The inputs of a database service. No service kind offers it yet: the frame exists, is reset
// with the others and is never shown or stored.
class TFrameDatabaseForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameDatabaseForm(QWidget* parent = nullptr);

    void Reset();

    QTabWidget* PageControl = nullptr;
    QComboBox* ComboBoxDatabase = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QLineEdit* EditDBName = nullptr;
    QLineEdit* EditUserID = nullptr;
    QLineEdit* EditPassword = nullptr;
};
