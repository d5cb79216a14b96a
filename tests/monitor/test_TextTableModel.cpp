// The lookup of a row by its id stays right through every change of the rows: appended, put on
// top, removed, sorted, cleared, and an id written over.
#include "monitor/TextTableModel.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(TextTableModelLookup, FindsTheFirstRowOfAnIdAfterEveryChange)
{
    struct Step
    {
        const char* name;
        std::function<void(TextTableModel&)> change;
        const char* expected; // "id:row" pairs; row -1 for none
    };
    const Step steps[] = {
        {"appended",
         [](TextTableModel& m) {
             m.appendRows({{"7", "b"}, {"3", "c"}, {"7", "a"}});
         },
         "7:0 3:1 9:-1"},
        {"one on top",
         [](TextTableModel& m) {
             m.insertTopRow({"9", "z"});
         },
         "9:0 7:1 3:2"},
        {"one removed", [](TextTableModel& m) { m.removeRows(1, 1); }, "9:0 7:2 3:1"},
        {"sorted by the second column", [](TextTableModel& m) { m.sortByColumn(1, false); }, "7:0 3:1 9:2"},
        {"an id written over", [](TextTableModel& m) { m.setCell(0, 0, "11"); }, "11:0 7:-1 3:1"},
        {"cleared", [](TextTableModel& m) { m.clear(); }, "11:-1 3:-1"},
    };
    TextTableModel model({"Id", "Text"});
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.change(model);
        for (const QString& pair : QString::fromLatin1(step.expected).split(' ')) {
            const QStringList parts = pair.split(':');
            EXPECT_EQ(model.findRow(parts[0]), parts[1].toInt()) << pair.toStdString();
        }
    }
}

} // namespace
