#include "gui/dialogs/FrameKit.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVector>

QLineEdit* AddEditRow(QFormLayout* form, const QString& caption, int maxLength, bool masked)
{
    auto* edit = new QLineEdit;
    edit->setMaxLength(maxLength);
    if (masked) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // "*"
    }
    AddLabelledRow(form, caption, edit);
    return edit;
}

QComboBox* AddComboRow(QFormLayout* form, const QString& caption, const QStringList& items)
{
    auto* combo = new QComboBox;
    combo->addItems(items);
    AddLabelledRow(form, caption, combo);
    return combo;
}

QLabel* AddLabelledRow(QFormLayout* form, const QString& caption, QWidget* field)
{
    auto* label = new QLabel(caption);
    label->setBuddy(field);
    form->addRow(label, field);
    return label;
}

QFormLayout* NewFormLayout(QWidget* parent)
{
    auto* form = new QFormLayout(parent);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    return form;
}

QFormLayout* AddFormPage(QTabWidget* tabs, const QString& caption)
{
    auto* page = new QWidget;
    QFormLayout* form = NewFormLayout(page);
    tabs->addTab(page, caption);
    return form;
}

void RevealWidget(QWidget* widget)
{
    // Collect the page switches from the widget outwards, then apply them from the outside in.
    QVector<std::pair<QStackedWidget*, QWidget*>> switches;
    for (QWidget* child = widget; child; child = child->parentWidget()) {
        if (auto* stack = qobject_cast<QStackedWidget*>(child->parentWidget()))
            switches.append({stack, child});
    }
    for (auto it = switches.crbegin(); it != switches.crend(); ++it) {
        QStackedWidget* stack = it->first;
        // A tab page control keeps its pages in a stack of its own; switch through its tab bar.
        if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
            tabs->setCurrentWidget(it->second);
        else
            stack->setCurrentWidget(it->second);
    }
}

void SelectComboText(QComboBox* combo, const QString& text)
{
    combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QWidget* NewPictureStrip()
{
    constexpr int width = 110;
    constexpr int height = 360;
    QPixmap picture(width, height);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, QColor(90, 85, 87));
    gradient.setColorAt(1, QColor(255, 128, 0));
    painter.fillRect(picture.rect(), gradient);
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSize(18);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.translate(width / 2 + 10, height - 20);
    painter.rotate(-90);
    painter.drawText(0, 0, QStringLiteral("Quorvel"));
    painter.end();
    auto* strip = new QLabel;
    strip->setPixmap(picture);
    strip->setFixedWidth(width);
    strip->setAlignment(Qt::AlignTop);
    return strip;
}
