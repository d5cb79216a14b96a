#pragma once

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QTabWidget;

// The inputs of a "DNS" service: the name asked for, the server asked (empty: the system's
// first resolver) and its port, the record type and optionally the value one answer must equal.
class TFrameDNSForm : public QWidget
{
    Q_OBJECT

public:
    explicit TFrameDNSForm(QWidget* parent = nullptr);

    // The record types the list offers, the first one the default.
    static QStringList RecordTypes();

    // Port 53, record type "A", the texts empty.
    void Reset();

    QTabWidget* PageControl = nullptr;
    QLineEdit* EditName = nullptr;
    QLineEdit* EditServer = nullptr;
    QLineEdit* EditPort = nullptr;
    QComboBox* ComboBoxRecordType = nullptr;
    QLineEdit* EditExpect = nullptr;
};
