#include "gui/dialogs/CheckListAccess.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QKeyEvent>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeWidget>

namespace {

const char kCheckListProperty[] = "quorvelAccessibleCheckList";

class CheckRowAccessible : public QAccessibleInterface, public QAccessibleActionInterface
{
public:
    CheckRowAccessible(QTreeWidget* list, const QPersistentModelIndex& index) : m_list(list), m_index(index)
    {
    }

    bool isValid() const override { return m_list && m_index.isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        QAccessibleInterface* parentInterface = parent();
        return parentInterface ? parentInterface->window() : nullptr;
    }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        QTreeWidgetItem* row = item();
        if (!row)
            return QString();
        if (t == QAccessible::Name)
            return row->text(0);
        if (t == QAccessible::Description)
            return row->text(1);
        return QString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        QTreeWidgetItem* row = item();
        if (!row)
            return QRect();
        QRect r = m_list->visualItemRect(row);
        r.moveTopLeft(m_list->viewport()->mapToGlobal(r.topLeft()));
        return r;
    }
    QAccessible::Role role() const override { return QAccessible::CheckBox; }

    QAccessible::State state() const override
    {
        QAccessible::State st;
        QTreeWidgetItem* row = item();
        if (!row) {
            st.invalid = true;
            return st;
        }
        st.checkable = true;
        st.checked = row->checkState(0) == Qt::Checked;
        st.focusable = true;
        st.selectable = true;
        st.selected = row->isSelected();
        st.focused = m_list->hasFocus() && m_list->currentItem() == row;
        st.disabled = !m_list->isEnabled();
        return st;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {toggleAction(), setFocusAction()}; }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        return name == toggleAction() ? QStringList{QStringLiteral("Space")} : QStringList();
    }
    void doAction(const QString& name) override
    {
        QTreeWidgetItem* row = item();
        if (!row || !m_list->isEnabled())
            return;
        if (name == toggleAction()) {
            toggle(row);
        } else if (name == setFocusAction()) {
            m_list->setFocus();
            m_list->setCurrentItem(row, 0);
        }
    }

    static void toggle(QTreeWidgetItem* row)
    {
        row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }

private:
    QTreeWidgetItem* item() const
    {
        if (!isValid() || m_index.parent().isValid())
            return nullptr;
        return m_list->topLevelItem(m_index.row());
    }

    QPointer<QTreeWidget> m_list;
    QPersistentModelIndex m_index;
};

// The list as a list of check rows. Row interfaces are made on demand and kept by row, so a
// row keeps its identity for assistive technology while the list shows it.
class CheckListAccessible : public QAccessibleWidget
{
public:
    explicit CheckListAccessible(QTreeWidget* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~CheckListAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return list()->topLevelItemCount(); }
    QAccessibleInterface* child(int index) const override
    {
        QTreeWidget* view = list();
        if (index < 0 || index >= view->topLevelItemCount())
            return nullptr;
        dropStaleRows();
        const QPersistentModelIndex at(view->model()->index(index, 0));
        const auto it = m_rows.constFind(at);
        if (it != m_rows.cend())
            return QAccessible::accessibleInterface(*it);
        auto* row = new CheckRowAccessible(view, at);
        m_rows.insert(at, QAccessible::registerAccessibleInterface(row));
        return row;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
            if (QAccessible::accessibleInterface(*it) == child)
                return it.key().isValid() ? it.key().row() : -1;
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        QTreeWidget* view = list();
        const QPoint at = view->viewport()->mapFromGlobal(QPoint(x, y));
        QTreeWidgetItem* row = view->itemAt(at);
        return row ? child(view->indexOfTopLevelItem(row)) : nullptr;
    }

private:
    QTreeWidget* list() const { return static_cast<QTreeWidget*>(widget()); }
    void dropStaleRows() const
    {
        for (auto it = m_rows.begin(); it != m_rows.end();) {
            if (it.key().isValid()) {
                ++it;
            } else {
                QAccessible::deleteAccessibleInterface(*it);
                it = m_rows.erase(it);
            }
        }
    }

    mutable QHash<QPersistentModelIndex, QAccessible::Id> m_rows;
};

QAccessibleInterface* checkListFactory(const QString&, QObject* object)
{
    auto* list = qobject_cast<QTreeWidget*>(object);
    if (list && list->property(kCheckListProperty).toBool())
        return new CheckListAccessible(list);
    return nullptr;
}

// Space ticks or unticks the current row, whichever column has the focus.
class SpaceToggles : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier)
            return false;
        auto* list = static_cast<QTreeWidget*>(watched);
        QTreeWidgetItem* row = list->currentItem();
        if (!row || !(row->flags() & Qt::ItemIsUserCheckable))
            return false;
        CheckRowAccessible::toggle(row);
        return true;
    }
};

} // namespace

void MakeAccessibleCheckList(QTreeWidget* list)
{
    static const bool installed = [] {
        QAccessible::installFactory(checkListFactory);
        return true;
    }();
    (void)installed;
    list->setProperty(kCheckListProperty, true);
    list->installEventFilter(new SpaceToggles(list));
}
