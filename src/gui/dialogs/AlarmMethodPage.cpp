#include "gui/dialogs/AlarmMethodPage.h"

#include "core/Notifier.h"
#include "core/auxFunc.h"
#include "core/langLibrary.h"
#include "gui/dialogs/FrameKit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using Kind = AlarmFieldKind;

constexpr int kIntegerInput = 11; // "-2147483648"

QString Latin(const char* text)
{
    return QString::fromLatin1(text);
}

bool IsNumber(Kind kind)
{
    return kind == Kind::Number || kind == Kind::NumberZeroEmpty;
}

bool IsList(Kind kind)
{
    return kind == Kind::Choice || kind == Kind::Switch;
}

QFormLayout* NewForm(QWidget* parent)
{
    QFormLayout* form = NewFormLayout(parent);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return form;
}

QLabel* AddRow(QFormLayout* form, const char* caption, QWidget* field)
{
    field->setAccessibleName(Latin(caption));
    return AddLabelledRow(form, Latin(caption) + QStringLiteral(" :"), field);
}

// Keeps `box` to one line of at most `maxLength` characters: Enter and pasted line breaks become
// nothing (a URL with a break in it would break every request).
void KeepOneLine(QPlainTextEdit* box, int maxLength)
{
    QObject::connect(box, &QPlainTextEdit::textChanged, box, [box, maxLength] {
        const QString typed = box->toPlainText();
        const auto isBreak = [](QChar c) {
            return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
                   c == QChar::LineSeparator;
        };
        QString line;
        int position = box->textCursor().position();
        for (int i = 0; i < typed.size(); ++i) {
            if (!isBreak(typed.at(i)))
                line += typed.at(i);
            else if (i < box->textCursor().position())
                --position;
        }
        line.truncate(maxLength);
        if (line == typed)
            return;
        box->setPlainText(line);
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(std::clamp(position, 0, int(line.size())));
        box->setTextCursor(cursor);
    });
}

} // namespace

AlarmMethodPage::AlarmMethodPage(const AlarmMethodForm& form, QWidget* parent) : QWidget(parent), m_form(form)
{
    build();
}

QWidget* AlarmMethodPage::newInput(const AlarmMethodField& field)
{
    switch (field.kind) {
    case Kind::Check: {
        auto* box = new QCheckBox(Latin(field.caption));
        connect(box, &QCheckBox::toggled, this, &AlarmMethodPage::ApplyEnabling);
        return box;
    }
    case Kind::Url: {
        auto* box = new QPlainTextEdit;
        box->setTabChangesFocus(true);
        box->setFixedHeight(box->fontMetrics().lineSpacing() * 3 + 12);
        KeepOneLine(box, field.maximum);
        return box;
    }
    case Kind::Choice:
    case Kind::Switch: {
        auto* list = new QComboBox;
        list->addItems(field.items());
        list->setMaxVisibleItems(std::max(list->maxVisibleItems(), list->count()));
        if (field.kind == Kind::Switch)
            connect(list, &QComboBox::currentIndexChanged, this, &AlarmMethodPage::ApplyEnabling);
        else // a name picked from the list replaces a stored one that the list could not show
            connect(list, &QComboBox::activated, this,
                    [this, column = Latin(field.column)] { m_keptNames.remove(column); });
        return list;
    }
    default: {
        auto* edit = new QLineEdit;
        edit->setMaxLength(IsNumber(field.kind) ? kIntegerInput : field.maximum);
        if (field.kind == Kind::Password)
            edit->setEchoMode(QLineEdit::Password);
        return edit;
    }
    }
}

void AlarmMethodPage::build()
{
    auto* layout = new QVBoxLayout(this);
    auto* enableRow = new QHBoxLayout;
    m_enable = new QCheckBox(QStringLiteral("Enable"), this);
    m_enable->setAccessibleName(QStringLiteral("Enable"));
    auto* note = new QLabel(Latin(m_form.note), this);
    note->setWordWrap(true);
    m_enable->setAccessibleDescription(note->text());
    enableRow->addWidget(m_enable, 0, Qt::AlignTop);
    enableRow->addWidget(note, 1);
    layout->addLayout(enableRow);
    connect(m_enable, &QCheckBox::toggled, this, &AlarmMethodPage::ApplyEnabling);

    auto* settings = new QWidget(this);
    QFormLayout* main = NewForm(settings);
    main->setContentsMargins(0, 0, 0, 0);
    // The forms of the sub-pages: tabs are made in their order, untitled boxes where first used.
    std::vector<QFormLayout*> forms(m_form.subPages.size(), nullptr);
    for (std::size_t i = 0; i < m_form.subPages.size(); ++i) {
        if (!m_form.subPages[i].caption)
            continue;
        if (!m_subPages)
            m_subPages = new QTabWidget(this);
        forms[i] = NewForm(new QWidget(m_subPages));
        m_subPages->addTab(forms[i]->parentWidget(), Latin(m_form.subPages[i].caption));
    }
    for (const AlarmMethodField& field : m_form.fields) {
        QFormLayout* form = main;
        if (field.subPage >= 0) {
            QFormLayout*& sub = forms[std::size_t(field.subPage)];
            if (!sub) {
                auto* box = new QGroupBox(settings);
                sub = NewForm(box);
                main->addRow(box);
            }
            form = sub;
        }
        QWidget* input = newInput(field);
        if (field.kind == Kind::Check) {
            input->setAccessibleName(Latin(field.caption));
            form->addRow(input);
        } else {
            AddRow(form, field.caption, input);
        }
        m_inputs.push_back({&field, input});
    }
    layout->addWidget(settings);
    if (m_subPages)
        layout->addWidget(m_subPages);

    m_testGroup = new QGroupBox(Latin(m_form.testGroup), this);
    QFormLayout* testForm = NewForm(m_testGroup);
    bool tall = false;
    for (const AlarmTestInput& test : m_form.testInputs) {
        QWidget* input = nullptr;
        if (test.lines) {
            auto* box = new QPlainTextEdit;
            box->setTabChangesFocus(true);
            box->setReadOnly(test.role == AlarmTestInput::Response);
            input = box;
        } else {
            input = new QLineEdit;
        }
        tall = tall || test.lines;
        AddRow(testForm, test.caption, input);
        m_testInputs.insert(test.role, input);
    }
    // A group with a box of several lines takes the height left; otherwise the space stays below.
    layout->addWidget(m_testGroup, tall ? 1 : 0);
    if (!tall)
        layout->addStretch(1);
}

// ---- access --------------------------------------------------------------------------------

bool AlarmMethodPage::MethodEnabled() const
{
    return m_enable->isChecked();
}

QWidget* AlarmMethodPage::Field(const QString& column) const
{
    for (const Input& input : m_inputs) {
        if (column == QLatin1String(input.field->column))
            return input.widget;
    }
    return nullptr;
}

QWidget* AlarmMethodPage::SubPage(int index) const
{
    return m_subPages ? m_subPages->widget(index) : nullptr;
}

QWidget* AlarmMethodPage::TestInput(AlarmTestInput::Role role) const
{
    return m_testInputs.value(role);
}

QString AlarmMethodPage::TestText(AlarmTestInput::Role role) const
{
    const QWidget* input = TestInput(role);
    if (const auto* box = qobject_cast<const QPlainTextEdit*>(input))
        return box->toPlainText();
    if (const auto* edit = qobject_cast<const QLineEdit*>(input))
        return edit->text();
    return QString();
}

QList<QWidget*> AlarmMethodPage::SettingsControls() const
{
    QList<QWidget*> controls{m_enable};
    for (const Input& input : m_inputs)
        controls << input.widget;
    return controls;
}

QStringList AlarmMethodPage::Secrets() const
{
    QStringList secrets;
    for (const Input& input : m_inputs) {
        if (QLatin1String(input.field->column).endsWith(QLatin1String("password")))
            secrets << textOf(input);
    }
    return secrets;
}

QString AlarmMethodPage::textOf(const Input& input) const
{
    switch (input.field->kind) {
    case Kind::Check:
        return static_cast<QCheckBox*>(input.widget)->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Url:
        return static_cast<QPlainTextEdit*>(input.widget)->toPlainText();
    case Kind::Choice:
    case Kind::Switch: {
        const auto* list = static_cast<QComboBox*>(input.widget);
        return list->currentIndex() < 0 ? m_keptNames.value(Latin(input.field->column)) : list->currentText();
    }
    default:
        return static_cast<QLineEdit*>(input.widget)->text();
    }
}

void AlarmMethodPage::setText(const Input& input, const QString& text)
{
    const AlarmMethodField& field = *input.field;
    switch (field.kind) {
    case Kind::Check:
        static_cast<QCheckBox*>(input.widget)->setChecked(text.toInt() != 0);
        break;
    case Kind::Url:
        static_cast<QPlainTextEdit*>(input.widget)->setPlainText(text);
        break;
    case Kind::Switch: // the first item for exactly its text, otherwise the second
        static_cast<QComboBox*>(input.widget)->setCurrentIndex(text == field.items().value(0) ? 0 : 1);
        break;
    case Kind::Choice: {
        // A stored name that no item shows leaves the list without a selection and is kept.
        auto* list = static_cast<QComboBox*>(input.widget);
        SelectComboText(list, text);
        if (list->currentIndex() < 0)
            m_keptNames.insert(Latin(field.column), text);
        else
            m_keptNames.remove(Latin(field.column));
        break;
    }
    case Kind::NumberZeroEmpty:
        static_cast<QLineEdit*>(input.widget)->setText(ZeroToEmpty(text));
        break;
    default:
        static_cast<QLineEdit*>(input.widget)->setText(text);
        break;
    }
}

// ---- showing -------------------------------------------------------------------------------

void AlarmMethodPage::Reset()
{
    m_enable->setChecked(false);
    for (const Input& input : m_inputs) {
        if (IsList(input.field->kind))
            static_cast<QComboBox*>(input.widget)->setCurrentIndex(0);
        else
            setText(input, input.field->byDefault);
    }
    m_keptNames.clear();
}

void AlarmMethodPage::ShowRow(const std::function<QVariant(const QString&)>& column)
{
    m_enable->setChecked(column(QStringLiteral("enable")).toInt() != 0);
    for (const Input& input : m_inputs)
        setText(input, column(Latin(input.field->column)).toString());
}

void AlarmMethodPage::ForgetKeptNames()
{
    for (const Input& input : m_inputs) {
        if (input.field->kind == Kind::Choice && static_cast<QComboBox*>(input.widget)->currentIndex() >= 0)
            m_keptNames.remove(Latin(input.field->column));
    }
}

// ---- enabling ------------------------------------------------------------------------------

// Whether the enabling `rule` holds: a box's column (ticked), or "column=value" (the list shows value).
bool AlarmMethodPage::holds(const char* rule) const
{
    if (!rule)
        return true;
    const QStringList parts = Latin(rule).split(QLatin1Char('='));
    const QWidget* control = Field(parts.first());
    if (const auto* box = qobject_cast<const QCheckBox*>(control))
        return box->isChecked();
    if (const auto* list = qobject_cast<const QComboBox*>(control))
        return parts.size() > 1 && list->currentText() == parts.at(1);
    return false;
}

void AlarmMethodPage::ApplyEnabling()
{
    const bool on = MethodEnabled();
    for (const Input& input : m_inputs)
        input.widget->setEnabled(on && holds(input.field->enabledBy));
    for (std::size_t i = 0; i < m_form.subPages.size(); ++i) {
        if (m_form.subPages[i].enabledBy)
            SubPage(int(i))->setEnabled(on && holds(m_form.subPages[i].enabledBy));
    }
    m_testGroup->setEnabled(on);
    emit EnablingChanged();
}

// ---- checking and the row ------------------------------------------------------------------

bool AlarmMethodPage::reject(const char* pattern, const Input& input)
{
    ShowInformationBox(Latin(pattern).replace(QStringLiteral("%s"), Latin(input.field->label)));
    RevealWidget(input.widget);
    input.widget->setFocus();
    return false;
}

bool AlarmMethodPage::numberValid(const Input& input, bool allowEmpty) const
{
    const QString text = textOf(input);
    if (allowEmpty && text.isEmpty())
        return true;
    int value = 0;
    return ParseInteger(text, &value) && value >= input.field->minimum && value <= input.field->maximum;
}

void AlarmMethodPage::fillEmptyZeros()
{
    for (const Input& input : m_inputs) {
        const AlarmMethodField& field = *input.field;
        if (field.kind == Kind::NumberZeroEmpty && field.minimum <= 0 && textOf(input).isEmpty())
            static_cast<QLineEdit*>(input.widget)->setText(QStringLiteral("0"));
    }
}

bool AlarmMethodPage::Validate()
{
    for (const Input& input : m_inputs) {
        const AlarmMethodField& field = *input.field;
        if (!field.label)
            continue;
        if (IsNumber(field.kind)) {
            const bool valid = numberValid(input, false);
            // Once the time-out is checked, whatever its outcome, an empty number that may be 0
            // shows 0.
            if (qstrcmp(field.column, "timeout") == 0)
                fillEmptyZeros();
            if (!valid)
                return reject(lang::InvalidInteger, input);
        } else if (textOf(input).isEmpty() && holds(field.enabledBy) &&
                   (field.subPage < 0 || holds(m_form.subPages[std::size_t(field.subPage)].enabledBy))) {
            return reject(lang::FieldEmpty, input);
        }
    }
    return true;
}

std::optional<AlarmMethodValues> AlarmMethodPage::Row()
{
    std::vector<std::pair<int, AlarmMethodValue>> columns;
    columns.push_back({0, {QStringLiteral("enable"), MethodEnabled() ? 1 : 0}});
    for (const Input& input : m_inputs) {
        const AlarmMethodField& field = *input.field;
        QVariant value = textOf(input);
        if (field.kind == Kind::Check) {
            value = value.toInt();
        } else if (IsNumber(field.kind)) {
            // Written unchecked on a disabled page, but only as a number: empty as 0, anything
            // else that is no integer of its range is shown like a failed check.
            if (!numberValid(input, true)) {
                reject(lang::InvalidInteger, input);
                return std::nullopt;
            }
            int number = 0;
            ParseInteger(value.toString(), &number);
            value = number;
        }
        columns.push_back({field.written, {Latin(field.column), value}});
    }
    std::stable_sort(columns.begin(), columns.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    AlarmMethodValues row;
    for (auto& column : columns)
        row.push_back(std::move(column.second));
    return row;
}
