#pragma once

#include "database/WeeklyWindowStore.h"
#include "gui/dialogs/TFormDialog.h"

#include <QVector>

#include <array>

class QCheckBox;
class QLabel;
class QPushButton;
class QStatusBar;

// The weekly monitoring window editor: one box per hour of the day and weekday (ticked: the
// monitoring runs during that hour), a toggle button above each weekday column and before each
// hour row, Select All and Clear All. Apply writes the grid to the table scheduling, which the
// main window reads every few seconds.
class TFormScheduling : public TFormDialog
{
    Q_OBJECT

public:
    static constexpr int kDays = WeeklyWindowStore::kDays;
    static constexpr int kHours = WeeklyWindowStore::kHours;

    explicit TFormScheduling(QWidget* parent = nullptr);

    // The box of weekday `day` (0 = Monday ... 6 = Sunday) and hour `hour` (0 to 23).
    QCheckBox* Box(int day, int hour) const { return m_boxes[day][hour]; }
    QPushButton* DayButton(int day) const { return m_dayButtons[day]; }
    QPushButton* HourButton(int hour) const { return m_hourButtons[hour]; }

    void DayButtonClick(int day);
    void HourButtonClick(int hour);
    void ButtonSelectAllClick();
    void ButtonClearAllClick();
    void ButtonApplyClick();
    void ButtonCancelClick();
    QString StatusText() const;

    QPushButton* ButtonApply = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonClearAll = nullptr;
    QPushButton* ButtonSelectAll = nullptr;
    QStatusBar* StatusBarScheduling = nullptr;

protected:
    void FormShow() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool moveFocusFrom(QWidget* widget, int key);

    std::array<std::array<QCheckBox*, kHours>, kDays> m_boxes{};
    std::array<QPushButton*, kDays> m_dayButtons{};
    std::array<QPushButton*, kHours> m_hourButtons{};
    // Ticks every box of `boxes`, or unticks them all when all are ticked already: a toggle
    // starts from what its boxes show, so each click changes something.
    void toggleBoxes(const QVector<QCheckBox*>& boxes);
    void setAllBoxes(bool ticked);
    QLabel* m_status = nullptr;
};
