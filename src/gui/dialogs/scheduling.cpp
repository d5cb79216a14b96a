#include "gui/dialogs/scheduling.h"

#include "core/SystemLog.h"
#include "core/langLibrary.h"
#include "database/DataModuleQuorvel.h"
#include "database/WeeklyWindowStore.h"
#include "gui/dialogs/DialogSupport.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Captions of the weekday buttons, Monday first.
const char* const kDayCaptions[TFormScheduling::kDays] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

QString hourCaption(int hour)
{
    const QString hh = QStringLiteral("%1").arg(hour, 2, 10, QLatin1Char('0'));
    return hh + QStringLiteral(":00 - ") + hh + QStringLiteral(":59");
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const char* hint = nullptr)
{
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    if (hint)
        button->setToolTip(QString::fromLatin1(hint));
    return button;
}

} // namespace

TFormScheduling::TFormScheduling(QWidget* parent) : TFormDialog(parent)
{
    setObjectName(QStringLiteral("FormScheduling"));
    setWindowTitle(QStringLiteral("Scheduling"));
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);

    // A box without a caption shows the keyboard focus by its background.
    setStyleSheet(QStringLiteral(
        "QCheckBox { padding: 2px; } QCheckBox:focus { background-color: palette(highlight); }"));

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(1);
    auto* timeLabel = new QLabel(QStringLiteral("Time"), this);
    timeLabel->setAlignment(Qt::AlignCenter);
    grid->addWidget(timeLabel, 0, 0);
    for (int day = 0; day < kDays; ++day) {
        QPushButton* button = makeButton(this, QString::fromLatin1(kDayCaptions[day]));
        button->setObjectName(QStringLiteral("ButtonDay") + QString::fromLatin1(kDayCaptions[day]));
        m_dayButtons[day] = button;
        grid->addWidget(button, 0, day + 1);
        connect(button, &QPushButton::clicked, this, [this, day] { DayButtonClick(day); });
        button->installEventFilter(this);
    }
    for (int hour = 0; hour < kHours; ++hour) {
        QPushButton* button = makeButton(this, hourCaption(hour));
        button->setObjectName(QStringLiteral("ButtonHour%1").arg(hour));
        m_hourButtons[hour] = button;
        grid->addWidget(button, hour + 1, 0);
        connect(button, &QPushButton::clicked, this, [this, hour] { HourButtonClick(hour); });
        button->installEventFilter(this);
        for (int day = 0; day < kDays; ++day) {
            auto* box = new QCheckBox(this);
            box->setAccessibleName(QString::fromLatin1(kDayCaptions[day]) + QLatin1Char(' ') +
                                   hourCaption(hour));
            box->setFocusPolicy(Qt::StrongFocus);
            m_boxes[day][hour] = box;
            grid->addWidget(box, hour + 1, day + 1, Qt::AlignCenter);
            connect(box, &QCheckBox::clicked, this, [this] { ButtonApply->setEnabled(true); });
            box->installEventFilter(this);
        }
    }

    // Made in the order they are seen, which is the order the keyboard takes.
    ButtonSelectAll = makeButton(this, QStringLiteral("Select All"), "Click to select all options");
    ButtonClearAll = makeButton(this, QStringLiteral("Clear All"), "Click to unselect all options");
    ButtonApply = makeButton(this, QStringLiteral("Apply"), "Click to save the alarming options");
    ButtonCancel = makeButton(this, QStringLiteral("Cancel"), "Click to cancel changes and close the window");
    ButtonApply->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonSelectAll);
    buttons->addWidget(ButtonClearAll);
    buttons->addStretch(1);
    buttons->addWidget(ButtonApply);
    buttons->addWidget(ButtonCancel);

    StatusBarScheduling = new QStatusBar(this);
    m_status = AddStatusPanel(StatusBarScheduling);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->addWidget(StatusBarScheduling);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ButtonApply, &QPushButton::clicked, this, &TFormScheduling::ButtonApplyClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormScheduling::ButtonCancelClick);
    connect(ButtonClearAll, &QPushButton::clicked, this, &TFormScheduling::ButtonClearAllClick);
    connect(ButtonSelectAll, &QPushButton::clicked, this, &TFormScheduling::ButtonSelectAllClick);

    SetCaptionsAsAccessibleNames(this);
    adjustSize();
    CentreOnDesktop(this);
}

QString TFormScheduling::StatusText() const
{
    return m_status->text();
}

void TFormScheduling::FormShow()
{
    ButtonApply->setEnabled(false);
    try {
        for (const WeeklyWindowStore::HourRow& row : WeeklyWindowStore::Rows()) {
            bool isHour = false;
            const int hour = row.ScheduleTime.toInt(&isHour);
            if (!isHour || hour < 0 || hour >= kHours)
                continue;
            for (int day = 0; day < kDays; ++day)
                m_boxes[day][hour]->setChecked(row.Days[day] == QLatin1String("yes"));
        }
    } catch (const DatabaseError&) {
        // The boxes keep their state.
    }
    m_status->setText(QString::fromLatin1(lang::CanUpdateSchedule));
    // The first focus goes to a button that changes nothing, so that Apply stays disabled until
    // the grid is entered.
    ButtonCancel->setFocus();
}

void TFormScheduling::toggleBoxes(const QVector<QCheckBox*>& boxes)
{
    const bool allTicked =
        std::all_of(boxes.cbegin(), boxes.cend(), [](QCheckBox* box) { return box->isChecked(); });
    for (QCheckBox* box : boxes)
        box->setChecked(!allTicked);
    ButtonApply->setEnabled(true);
}

void TFormScheduling::setAllBoxes(bool ticked)
{
    for (const auto& column : m_boxes) {
        for (QCheckBox* box : column)
            box->setChecked(ticked);
    }
    ButtonApply->setEnabled(true);
}

void TFormScheduling::DayButtonClick(int day)
{
    toggleBoxes(QVector<QCheckBox*>(m_boxes[day].cbegin(), m_boxes[day].cend()));
}

void TFormScheduling::HourButtonClick(int hour)
{
    QVector<QCheckBox*> row;
    for (int day = 0; day < kDays; ++day)
        row << m_boxes[day][hour];
    toggleBoxes(row);
}

void TFormScheduling::ButtonSelectAllClick()
{
    setAllBoxes(true);
}

void TFormScheduling::ButtonClearAllClick()
{
    setAllBoxes(false);
}

void TFormScheduling::ButtonApplyClick()
{
    WeeklyWindowStore::Grid on{};
    for (int day = 0; day < kDays; ++day) {
        for (int hour = 0; hour < kHours; ++hour)
            on[day][hour] = m_boxes[day][hour]->isChecked();
    }
    try {
        WeeklyWindowStore::Save(on);
    } catch (const DatabaseError& error) {
        ApplicationEventsException(error.text());
        return;
    }
    m_status->setText(QString::fromLatin1(lang::SchedulingSaved));
    ButtonApply->setEnabled(false);
}

void TFormScheduling::ButtonCancelClick()
{
    emit statusReported(QString::fromLatin1(lang::UpdatingCancelled));
    close();
}

bool TFormScheduling::moveFocusFrom(QWidget* widget, int key)
{
    // Position in a grid whose row 0 holds the weekday buttons and column 0 the hour buttons.
    int row = -1;
    int column = -1;
    for (int day = 0; day < kDays && row < 0; ++day) {
        if (m_dayButtons[day] == widget) {
            row = 0;
            column = day + 1;
        }
        for (int hour = 0; hour < kHours && row < 0; ++hour) {
            if (m_boxes[day][hour] == widget) {
                row = hour + 1;
                column = day + 1;
            }
        }
    }
    for (int hour = 0; hour < kHours && row < 0; ++hour) {
        if (m_hourButtons[hour] == widget) {
            row = hour + 1;
            column = 0;
        }
    }
    if (row < 0)
        return false;
    switch (key) {
    case Qt::Key_Left:
        --column;
        break;
    case Qt::Key_Right:
        ++column;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    default:
        return false;
    }
    if (row < 0 || row > kHours || column < 0 || column > kDays || (row == 0 && column == 0))
        return true; // at the edge: the focus stays
    QWidget* next = row == 0      ? static_cast<QWidget*>(m_dayButtons[column - 1])
                    : column == 0 ? static_cast<QWidget*>(m_hourButtons[row - 1])
                                  : static_cast<QWidget*>(m_boxes[column - 1][row - 1]);
    next->setFocus(Qt::OtherFocusReason);
    return true;
}

bool TFormScheduling::eventFilter(QObject* watched, QEvent* event)
{
    // Watched are the grid's boxes and toggle buttons: entering one enables Apply, and the
    // arrow keys move between them as in a table.
    if (event->type() == QEvent::FocusIn) {
        ButtonApply->setEnabled(true);
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (moveFocusFrom(static_cast<QWidget*>(watched), key->key()))
                return true;
        }
    }
    return TFormDialog::eventFilter(watched, event);
}
