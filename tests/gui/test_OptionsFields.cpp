// The options pages against the table of settings they are built from: for every field, what
// Default shows and Apply stores, the edges of its range, and a value other than the default
// through show -> Apply -> SysInit.ini -> load -> show.
#include "DialogKit.h"
#include "GuiFixture.h"

#include "core/SettingsFields.h"
#include "core/comFunc.h"
#include "core/langLibrary.h"
#include "gui/dialogs/OptionsPage.h"
#include "gui/dialogs/settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

using Kind = Notifier::Kind;

// The rows the options pages show and save.
std::vector<const SettingField*> pageRows()
{
    std::vector<const SettingField*> rows;
    for (const SettingField& f : SettingFields())
        if (f.page != NoPage && !f.shownOnly)
            rows.push_back(&f);
    return rows;
}

QString trace(const SettingField& f)
{
    return QStringLiteral("[%1] %2").arg(f.section, f.key);
}

// Puts a value of the file's form into an input as the user would choose it.
void enter(const SettingField& f, QWidget* input, const QString& text)
{
    if (auto* box = qobject_cast<QCheckBox*>(input))
        box->setChecked(text == "1");
    else if (auto* edit = qobject_cast<QLineEdit*>(input))
        edit->setText(text);
    else if (auto* list = qobject_cast<QComboBox*>(input))
        list->setCurrentIndex(f.kind == SettingKind::YesNo     ? (text == "1" ? 0 : 1)
                              : f.kind == SettingKind::DayList ? text.toInt() - 1
                                                               : list->findText(text));
}

// What an input shows, in the file's form.
QString shown(const SettingField& f, QWidget* input)
{
    if (auto* box = qobject_cast<QCheckBox*>(input))
        return box->isChecked() ? "1" : "0";
    if (auto* edit = qobject_cast<QLineEdit*>(input))
        return edit->text();
    auto* list = qobject_cast<QComboBox*>(input);
    if (f.kind == SettingKind::YesNo)
        return list->currentIndex() == 0 ? "1" : "0";
    if (f.kind == SettingKind::DayList)
        return QString::number(list->currentIndex() + 1);
    return list->currentText();
}

// A value other than the default that Apply accepts, in the file's form.
QString otherValue(const SettingField& f, const QString& folder)
{
    if (f.browse)
        return folder;
    if (f.items) {
        const QStringList names = f.items();
        return names.size() > 1 ? names.at(names.indexOf(f.Default()) == 0 ? 1 : 0) : f.Default();
    }
    if (f.kind == SettingKind::Flag || f.kind == SettingKind::YesNo)
        return f.Default() == "1" ? "0" : "1";
    if (f.check == SettingCheck::Integer || f.check == SettingCheck::Range || f.number)
        return QString::number(f.DefaultNumber() + 1);
    return QStringLiteral("v-%1").arg(f.key);
}

class OptionsFields : public GuiFixture
{
protected:
    void start()
    {
        openWindow();
        startCycle();
        showWindow();
        reopen();
    }

    void reopen()
    {
        if (form)
            form->close();
        QTest::mouseClick(window->ToolButtonGeneral, Qt::LeftButton);
        form = FormSettings();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(WaitUntilFocused(form));
        m_boxes.boxes.clear();
    }

    QWidget* input(const SettingField& f) const
    {
        auto* page = qobject_cast<OptionsPage*>(form->PageControl->widget(f.page));
        return page ? page->Field(f.section, f.key) : nullptr;
    }

    // Enters a field (which enables Apply) and presses Apply.
    void apply()
    {
        form->PageControl->setCurrentIndex(TFormSettings::PageGeneral);
        form->EditSysLogFilename->setFocus();
        QTest::mouseClick(form->ButtonApply, Qt::LeftButton);
    }

    // The settings as a fresh load of SysInit.ini gives them.
    AppSettingsRecord reloaded() const
    {
        const AppSettingsRecord kept = AppSettings;
        LoadSettings();
        const AppSettingsRecord read = AppSettings;
        AppSettings = kept;
        return read;
    }

    TFormSettings* form = nullptr;
};

} // namespace

TEST_F(OptionsFields, DefaultShowsEachFieldsDefaultAndApplyStoresIt)
{
    start();
    // Values other than the defaults first, so that Default has something to change.
    const QString folder = m_tree->file("conf") + "/";
    for (const SettingField* f : pageRows())
        enter(*f, input(*f), otherValue(*f, folder));
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();

    reopen();
    QTest::mouseClick(form->ButtonDefault, Qt::LeftButton);
    for (const SettingField* f : pageRows()) {
        const QString expected = f->keptOnReset ? otherValue(*f, folder) : f->Default();
        EXPECT_EQ(shown(*f, input(*f)), expected) << trace(*f).toStdString();
    }
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    const AppSettingsRecord read = reloaded();
    for (const SettingField* f : pageRows()) {
        if (f->save == SettingSave::Never)
            continue;
        const QString expected = f->keptOnReset ? otherValue(*f, folder) : f->Default();
        EXPECT_EQ(SettingText(*f, AppSettings), expected) << trace(*f).toStdString();
        EXPECT_EQ(SettingText(*f, read), expected) << trace(*f).toStdString();
    }
}

TEST_F(OptionsFields, EveryFieldRoundTripsThroughApplyTheFileAndTheNextShowing)
{
    start();
    const QString folder = m_tree->file("conf") + "/";
    for (const SettingField* f : pageRows())
        enter(*f, input(*f), otherValue(*f, folder));
    apply();
    ASSERT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
    EXPECT_EQ(form->StatusText(), lang::OptionSettingsSaved);

    for (const SettingField* f : pageRows())
        EXPECT_EQ(SettingText(*f, AppSettings), otherValue(*f, folder)) << trace(*f).toStdString();

    // Read back from the file and shown again; a value that is never written is not in the file.
    AppSettings = reloaded();
    reopen();
    for (const SettingField* f : pageRows()) {
        if (f->save == SettingSave::Never)
            continue;
        EXPECT_EQ(SettingText(*f, AppSettings), otherValue(*f, folder)) << trace(*f).toStdString();
        EXPECT_EQ(shown(*f, input(*f)), otherValue(*f, folder)) << trace(*f).toStdString();
    }
}

// Each checked number: both edges of its range are taken, one beyond either edge is refused on the
// field's page with the focus in it, and nothing is stored.
TEST_F(OptionsFields, EachNumberTakesTheEdgesOfItsRangeAndRefusesBeyondThem)
{
    start();
    for (const SettingField* f : pageRows()) {
        if (f->check != SettingCheck::Integer && f->check != SettingCheck::Range)
            continue;
        const struct
        {
            long long value;
            bool taken;
        } edges[] = {{f->minimum, true},
                     {f->maximum, true},
                     {static_cast<long long>(f->minimum) - 1, false},
                     {static_cast<long long>(f->maximum) + 1, false}};
        for (const auto& e : edges) {
            const QString text = QString::number(e.value);
            SCOPED_TRACE((trace(*f) + "=" + text).toStdString());
            reopen();
            const AppSettingsRecord before = AppSettings;
            enter(*f, input(*f), text);
            apply();
            if (e.taken) {
                EXPECT_TRUE(m_boxes.boxes.empty()) << m_boxes.texts().join('|').toStdString();
                EXPECT_EQ(SettingText(*f, AppSettings), text);
                EXPECT_EQ(SettingText(*f, reloaded()), text);
                continue;
            }
            ASSERT_EQ(m_boxes.boxes.size(), 1u);
            EXPECT_EQ(m_boxes.boxes[0].first, Kind::Information);
            EXPECT_EQ(form->PageControl->currentIndex(), f->page);
            EXPECT_EQ(QApplication::focusWidget(), input(*f));
            EXPECT_EQ(SettingText(*f, AppSettings), SettingText(*f, before));
        }
    }
}
