#include "ProgressWatch.h"

TProgressWatch::TProgressWatch(QStatusBar* statusBar)
{
    QObject::connect(statusBar, &QStatusBar::messageChanged, &Timer, [this](const QString& text) {
        Messages.append(text);
        Reading = text.startsWith(QStringLiteral("Reading "));
    });
    QObject::connect(&Timer, &QTimer::timeout, [this] {
        ++Ticks;
        if (Reading)
            ++TicksDuringRead;
    });
    Timer.setInterval(0);
    Timer.start();
}
