#include "WindowTest.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstdlib>

void WindowTest::SetUp()
{
    // Figures read the same on every machine, whatever its regional settings.
    SetDecimalSeparatorForTesting(QChar(u'.'));
    // Only queued codes become readings, so every point list is exactly what a test queues.
    Sim.SetReadings({.RatePerSecond = 0});
    ASSERT_TRUE(Sim.Start()) << Sim.Error();
    setenv("TRELVO_COM1", Sim.DevicePath().c_str(), 1);
    Window = std::make_unique<TFCore>();
    W = Window.get();
    W->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(W));
}

void WindowTest::TearDown()
{
    Window.reset();
    unsetenv("TRELVO_COM1");
    SetDecimalSeparatorForTesting(std::nullopt);
}

void WindowTest::Connect()
{
    Click(W->BPort);
    ASSERT_TRUE(W->Port->IsOpen) << LastLog().toStdString();
    ASSERT_EQ(W->BPort->text(), "Close");
}

void WindowTest::Edit(const std::function<void(trelvo::sim::TImage&)>& change)
{
    trelvo::sim::TImage image = Sim.Image();
    change(image);
    Sim.SetImage(image);
}

void WindowTest::Click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

void WindowTest::Pick(QComboBox* list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void WindowTest::Type(QWidget* control, const QString& text)
{
    control->setFocus();
    QLineEdit* edit = qobject_cast<QLineEdit*>(control);
    if (auto* combo = qobject_cast<QComboBox*>(control))
        edit = combo->lineEdit();
    if (edit) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
}

void WindowTest::PressEnter(QWidget* focus)
{
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_Return);
}

TModalSeen WindowTest::WithModal(const std::function<void()>& action, const std::function<void(QWidget*)>& handle)
{
    TModalSeen seen;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || seen.Shown)
            return;
        seen.Shown = true;
        seen.ClassName = modal->metaObject()->className();
        seen.Title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            seen.Text = box->text();
        if (handle)
            handle(modal);
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
    closer.start();
    action();
    return seen;
}

QStringList WindowTest::LogLines() const
{
    QStringList lines = W->Memo->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString WindowTest::LastLog() const
{
    const QStringList lines = LogLines();
    return lines.isEmpty() ? QString() : lines.last();
}

QString WindowTest::StatusText() const
{
    return W->StatusBar->currentMessage();
}

void WindowTest::Wait(int ms)
{
    QTest::qWait(ms);
}

bool WindowTest::WaitFor(const std::function<bool()>& condition, int ms)
{
    return QTest::qWaitFor(condition, ms);
}
