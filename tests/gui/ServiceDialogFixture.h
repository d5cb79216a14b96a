#pragma once

#include "GuiFixture.h"

#include <QString>
#include <QStringList>

class QAbstractButton;
class QAccessibleInterface;
class QComboBox;
class QLineEdit;
class QTreeWidget;
class TFormSetupScheduling;
class TFormUpdateScheduling;
class TServiceInputs;

// The main window on the test database, with the service dialogs opened through its commands
// and driven through their widgets.
class ServiceDialogFixture : public GuiFixture
{
protected:
    void SetUp() override;

    TFormSetupScheduling* openWizard();
    TFormUpdateScheduling* openEditor();

    // Picks the item `text` as the user does (the list's activation follows).
    static void pick(QComboBox* combo, const QString& text);
    static void type(QLineEdit* edit, const QString& text);
    static void click(QAbstractButton* button);
    // Ticks the contact list row named `name`.
    static void tick(TServiceInputs& inputs, const QString& name);
    static QStringList rows(QTreeWidget* list, int column);
    // The row of the contact list named `name` as assistive technology sees it, or nullptr.
    static QAccessibleInterface* contactRow(TServiceInputs& inputs, const QString& name);

    int addPerson(const QString& name);
    int addGroup(const QString& name, const QList<int>& members);
    // Rows of a query on the test server, each row's columns joined with "|".
    QStringList table(const QString& sql) const;
    int count(const QString& sql) const { return scalar(sql).toInt(); }
    QStringList boxTexts() const { return m_boxes.texts(); }
};
