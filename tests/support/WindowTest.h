// The real window on the offscreen platform, connected to the in-process simulator as COM1, with the
// full stop as decimal separator and no live reading but those a test queues.
#pragma once

#include "Core.h"
#include "Simulator.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>

// Texts in test failures read as texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// What a modal window showed before the test closed it.
struct TModalSeen {
    bool Shown = false;
    QString ClassName;
    QString Title;
    QString Text;
};

class WindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the session with "Open" on COM1 and checks that it started.
    void Connect();
    // Changes the instrument's memory as a test needs it.
    void Edit(const std::function<void(trelvo::sim::TImage&)>& change);

    // The user's actions.
    static void Click(QAbstractButton* button);
    static void Pick(QComboBox* list, int index);  // the user chooses an item from the list
    static void Type(QWidget* control, const QString& text);  // focuses the control, replaces its text by typing
    static void PressEnter(QWidget* focus);

    // Runs `action`; a modal window that it opens is recorded and closed (by `handle`, or rejected).
    TModalSeen WithModal(const std::function<void()>& action,
                         const std::function<void(QWidget*)>& handle = nullptr);

    QStringList LogLines() const;  // the memo's rows of text, oldest first
    QString LastLog() const;
    QString StatusText() const;

    // Lets queued events (and timer ticks) run for about `ms` milliseconds.
    static void Wait(int ms);
    // Waits up to `ms` for `condition`.
    static bool WaitFor(const std::function<bool()>& condition, int ms = 5000);

    trelvo::sim::TSimulator Sim;
    std::unique_ptr<TFCore> Window;
    TFCore* W = nullptr;  // the same, for short expressions
};
