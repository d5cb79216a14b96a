#pragma once

#include "core/Notifier.h"

#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

// Records every message box instead of showing it; installed for its lifetime.
class RecordingNotifier : public Notifier
{
public:
    RecordingNotifier() { m_previous = Notifier::install(this); }
    ~RecordingNotifier() override { Notifier::install(m_previous); }

    void show(Kind kind, const QString& text) override { boxes.emplace_back(kind, text); }
    // Questions are recorded and answered with `answer`.
    bool confirm(const QString& text) override
    {
        questions << text;
        return answer;
    }
    QStringList texts() const
    {
        QStringList out;
        for (const auto& b : boxes)
            out << b.second;
        return out;
    }

    std::vector<std::pair<Kind, QString>> boxes;
    QStringList questions;
    bool answer = true;

private:
    Notifier* m_previous = nullptr;
};

// Counts the requests to quit the application; installed for its lifetime.
class QuitRecorder
{
public:
    QuitRecorder()
    {
        m_previous = SetQuitHook([this] { ++requests; });
    }
    ~QuitRecorder() { SetQuitHook(m_previous); }
    int requests = 0;

private:
    std::function<void()> m_previous;
};
