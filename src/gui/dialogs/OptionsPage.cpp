#include "gui/dialogs/OptionsPage.h"

#include "core/auxFunc.h"
#include "core/langLibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QComboBox* dayList(QWidget* parent)
{
    auto* list = new QComboBox(parent);
    QStringList numbers;
    numbers.reserve(kDayListMax);
    for (int n = 1; n <= kDayListMax; ++n)
        numbers << QString::number(n);
    list->addItems(numbers);
    list->setMaxVisibleItems(15);
    return list;
}

QLabel* noteLabel(const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setWordWrap(true);
    QFont small = label->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    label->setFont(small);
    return label;
}

QString withText(const char* pattern, const QString& text)
{
    QString message = QString::fromLatin1(pattern);
    return message.replace(message.indexOf(QLatin1String("%s")), 2, text);
}

// The integer a field holds when it is one of its range.
bool numberIn(const SettingField& row, const QString& text, int* value)
{
    const QString digits = row.check == SettingCheck::Range ? text.trimmed() : text;
    return ParseInteger(digits, value) && *value >= row.minimum && *value <= row.maximum;
}

// A row of inputs side by side, without margins.
QWidget* side(QWidget* parent, QHBoxLayout** layout)
{
    auto* row = new QWidget(parent);
    *layout = new QHBoxLayout(row);
    (*layout)->setContentsMargins(0, 0, 0, 0);
    return row;
}

} // namespace

OptionsPage::OptionsPage(int page, QWidget* parent) : QWidget(parent), m_page(page)
{
    const SettingsPageForm& form = SettingsPageForms().at(page);
    auto* grid = new QGridLayout(this);
    int cell = 0;
    for (const char* caption : form.groups) {
        std::vector<const SettingField*> rows;
        for (const SettingField& row : SettingFields())
            if (row.page == page && QLatin1String(row.group) == QLatin1String(caption))
                rows.push_back(&row);
        std::stable_sort(rows.begin(), rows.end(), [](const SettingField* a, const SettingField* b) {
            return a->position < b->position;
        });
        auto* group = new QGroupBox(QString::fromLatin1(caption), this);
        m_groups.insert(QString::fromLatin1(caption), group);
        buildGroup(group, rows);
        if (std::all_of(rows.begin(), rows.end(), [](const SettingField* r) { return r->hidden; })) {
            group->hide(); // its values are shown only
            continue;
        }
        grid->addWidget(group, cell / form.columns, cell % form.columns);
        ++cell;
    }
    grid->setRowStretch((cell + form.columns - 1) / form.columns, 1);
    for (const Input& input : m_inputs)
        if (auto* box = qobject_cast<QCheckBox*>(input.widget))
            connect(box, &QCheckBox::toggled, this, &OptionsPage::ApplyEnabling);
}

void OptionsPage::buildGroup(QGroupBox* group, const std::vector<const SettingField*>& rows)
{
    auto* form = new QFormLayout(group);
    const bool groupHidden =
        std::all_of(rows.begin(), rows.end(), [](const SettingField* r) { return r->hidden; });
    for (const SettingField* row : rows) {
        QWidget* input = newInput(*row, group);
        input->setAccessibleName(row->Name());
        m_inputs.push_back({row, input});
        if (row->hidden && !groupHidden) {
            input->hide(); // kept for its value only
            continue;
        }
        if (row->kind == SettingKind::Flag) {
            form->addRow(input);
            continue;
        }
        QWidget* shown = input;
        QHBoxLayout* line = nullptr;
        if (row->kind == SettingKind::Fixed) {
            shown = side(group, &line);
            line->addWidget(new QLabel(row->Default(), shown));
            line->addWidget(input);
            line->addStretch(1);
            input->hide();
        } else if (row->unit || row->browse) {
            shown = side(group, &line);
            line->addWidget(input, 1);
            if (row->unit)
                line->addWidget(new QLabel(QString::fromLatin1(row->unit), shown));
        }
        if (row->browse) {
            m_browse = new QPushButton(QStringLiteral("..."), shown);
            m_browse->setAutoDefault(false);
            m_browse->setToolTip(QString::fromLatin1(lang::SelectBackupPath));
            m_browse->setMaximumWidth(m_browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
            line->addWidget(m_browse);
        }
        auto* label = new QLabel(QString::fromLatin1(row->caption), group);
        label->setBuddy(input);
        form->addRow(label, shown);
        if (row->note)
            form->addRow(QString(), noteLabel(row->note, group));
    }
}

QWidget* OptionsPage::newInput(const SettingField& row, QWidget* parent)
{
    QWidget* input = nullptr;
    switch (row.kind) {
    case SettingKind::Flag:
        input = new QCheckBox(QString::fromLatin1(row.caption), parent);
        break;
    case SettingKind::YesNo: {
        auto* list = new QComboBox(parent);
        list->addItems({QStringLiteral("Yes"), QStringLiteral("No")});
        input = list;
        break;
    }
    case SettingKind::DayList:
        input = dayList(parent);
        break;
    case SettingKind::Choice:
    case SettingKind::Fixed: {
        auto* list = new QComboBox(parent);
        list->addItems(row.items());
        input = list;
        break;
    }
    case SettingKind::Number:
    case SettingKind::Text: {
        auto* edit = new QLineEdit(parent);
        if (row.rangeTip) {
            edit->setMaxLength(QString::number(row.maximum).size());
            edit->setToolTip(QStringLiteral("%1 to %2").arg(row.minimum).arg(row.maximum));
        } else if (row.kind == SettingKind::Text && row.check != SettingCheck::Integer && row.maximum > 0) {
            edit->setMaxLength(row.maximum);
        }
        input = edit;
        break;
    }
    }
    if (row.tip)
        input->setToolTip(QString::fromLatin1(row.tip));
    return input;
}

QWidget* OptionsPage::Field(const char* section, const char* key) const
{
    for (const Input& input : m_inputs)
        if (QLatin1String(input.field->section) == QLatin1String(section) &&
            QLatin1String(input.field->key) == QLatin1String(key))
            return input.widget;
    return nullptr;
}

QList<QWidget*> OptionsPage::Inputs() const
{
    QList<QWidget*> inputs;
    for (const Input& input : m_inputs)
        inputs << input.widget;
    return inputs;
}

void OptionsPage::showText(const Input& input, const QString& text)
{
    if (auto* box = qobject_cast<QCheckBox*>(input.widget)) {
        box->setChecked(IntegerOr(text, 0) != 0);
    } else if (auto* edit = qobject_cast<QLineEdit*>(input.widget)) {
        edit->setText(text);
    } else if (auto* list = qobject_cast<QComboBox*>(input.widget)) {
        int index = -1;
        if (input.field->kind == SettingKind::YesNo) {
            index = IntegerOr(text, 0) != 0 ? 0 : 1;
        } else if (input.field->kind == SettingKind::DayList) {
            const int value = IntegerOr(text, 0);
            index = value >= 1 && value <= kDayListMax ? value - 1 : -1;
        } else {
            index = list->findText(text, Qt::MatchFixedString);
        }
        list->setCurrentIndex(index);
    }
}

bool OptionsPage::valueText(const Input& input, QString* text) const
{
    const SettingField& row = *input.field;
    if (auto* box = qobject_cast<QCheckBox*>(input.widget)) {
        *text = box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    } else if (auto* edit = qobject_cast<QLineEdit*>(input.widget)) {
        int value = 0;
        const bool number = row.check == SettingCheck::Integer || row.check == SettingCheck::Range;
        *text = number && numberIn(row, edit->text(), &value) ? QString::number(value) : edit->text();
    } else if (auto* list = qobject_cast<QComboBox*>(input.widget)) {
        if (list->currentIndex() < 0)
            return false; // a stored value the list cannot show is kept as it is
        if (row.kind == SettingKind::YesNo)
            *text = list->currentIndex() == 0 ? QStringLiteral("1") : QStringLiteral("0");
        else if (row.kind == SettingKind::DayList)
            *text = QString::number(list->currentIndex() + 1);
        else
            *text = list->currentText();
    }
    return true;
}

bool OptionsPage::enabled(const Input& input) const
{
    if (!input.field->enabledBy)
        return true;
    for (const Input& other : m_inputs)
        if (QLatin1String(other.field->section) == QLatin1String(input.field->section) &&
            QLatin1String(other.field->key) == QLatin1String(input.field->enabledBy))
            if (auto* box = qobject_cast<QCheckBox*>(other.widget))
                return box->isChecked();
    return true;
}

void OptionsPage::Show(const AppSettingsRecord& s)
{
    for (const Input& input : m_inputs)
        showText(input, SettingText(*input.field, s));
    ApplyEnabling();
}

void OptionsPage::Reset()
{
    for (const Input& input : m_inputs)
        if (!input.field->keptOnReset)
            showText(input, input.field->Default());
    ApplyEnabling();
}

void OptionsPage::ApplyEnabling()
{
    for (const Input& input : m_inputs) {
        if (!input.field->enabledBy)
            continue;
        const bool on = enabled(input);
        input.widget->setEnabled(on);
        if (input.field->browse && m_browse)
            m_browse->setEnabled(on);
    }
}

bool OptionsPage::Validate(QWidget** field, QString* message) const
{
    for (const Input& input : m_inputs) {
        const SettingField& row = *input.field;
        if (row.shownOnly || row.check == SettingCheck::None || !enabled(input))
            continue;
        const auto* edit = qobject_cast<const QLineEdit*>(input.widget);
        const QString text = edit ? edit->text() : QString();
        int value = 0;
        if ((row.check == SettingCheck::NotEmpty || row.check == SettingCheck::Folder) && text.isEmpty())
            *message = withText(lang::FieldEmpty, row.Label());
        else if (row.check == SettingCheck::Folder && !QFileInfo(text).isDir())
            *message = withText(lang::FolderNotFound, text);
        else if (row.check == SettingCheck::Integer && !numberIn(row, text, &value))
            *message = withText(lang::InvalidInteger, row.Label());
        else if (row.check == SettingCheck::Range && !numberIn(row, text, &value))
            *message = QStringLiteral("%1 must be a number from %2 to %3.")
                           .arg(row.Label())
                           .arg(row.minimum)
                           .arg(row.maximum);
        else
            continue;
        *field = input.widget;
        return false;
    }
    return true;
}

void OptionsPage::Save(AppSettingsRecord& s) const
{
    for (const Input& input : m_inputs) {
        QString text;
        if (!input.field->shownOnly && valueText(input, &text))
            SetSettingText(*input.field, s, text);
    }
}
