// Watches a long read: the texts the status bar shows, and whether a timer tick runs in the middle of it.
#pragma once

#include <QStatusBar>
#include <QStringList>
#include <QTimer>

class TProgressWatch {
public:
    // Starts a zero-interval timer, which fires on the first pass of the event loop after the read begins.
    explicit TProgressWatch(QStatusBar* statusBar);

    // Every text the status bar showed since the watch started, in order.
    QStringList Messages;
    int Ticks = 0;
    // Ticks that ran while the status bar showed a progress text ("Reading ...").
    int TicksDuringRead = 0;

private:
    QTimer Timer;
    bool Reading = false;
};
