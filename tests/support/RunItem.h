#pragma once

#include <QElapsedTimer>

#include <string>

// What a work item left after its Execute, read the way the result handler reads it.
struct Outcome
{
    bool passed = false;
    std::string text;
    std::string detail;
    int responseCode = 0;
    qint64 elapsedMs = 0;
};

// Runs `item` on the calling thread, as a pool worker would, and returns its result fields.
template <typename Item> Outcome RunItem(Item& item)
{
    QElapsedTimer timer;
    timer.start();
    item.Execute();
    Outcome o;
    o.elapsedMs = timer.elapsed();
    o.passed = item.Passed;
    o.text = item.ResultText.toStdString();
    o.detail = item.ResultDetail.toStdString();
    o.responseCode = item.ResponseCode;
    return o;
}
