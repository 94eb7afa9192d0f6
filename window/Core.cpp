#include "Core.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabBar>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextLayout>

#include <exception>

namespace {

constexpr int LogRows = 10;
constexpr int LinkBaud = 19200;
constexpr int LinkQueueSize = 256;

// The page control keeps its five tabs within the window's width and gives each page 216 x 488 pixels.
class TPageControlStyle : public QProxyStyle {
public:
    TPageControlStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace)
            return 10;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    QRect subElementRect(SubElement element, const QStyleOption* option, const QWidget* widget) const override
    {
        if (element == SE_TabWidgetTabContents) {
            const QRect pane = QProxyStyle::subElementRect(SE_TabWidgetTabPane, option, widget);
            return QRect(pane.left() + 4, pane.bottom() - 3 - PageHeight, pane.width() - 8, PageHeight);
        }
        return QProxyStyle::subElementRect(element, option, widget);
    }

private:
    static constexpr int PageHeight = 488;
};

QFont WindowFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

QFont DataFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Lucida Console"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

// The rows a paragraph takes in the memo, wrapped at word boundaries as the memo wraps it.
QList<int> WrappedRowLengths(const QString& text, const QFont& font, qreal width)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QList<int> lengths;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lengths.append(line.textLength());
    }
    layout.endLayout();
    if (lengths.isEmpty())
        lengths.append(0);
    return lengths;
}

}  // namespace

QString CellText(const QTableWidget* grid, int column, int row)
{
    const QTableWidgetItem* cell = grid->item(row, column);
    return cell ? cell->text() : QString();
}

void SetCellText(QTableWidget* grid, int column, int row, const QString& text)
{
    if (row >= grid->rowCount()) {
        if (text.isEmpty())
            return;
        grid->setRowCount(row + 1);
    }
    if (QTableWidgetItem* cell = grid->item(row, column))
        cell->setText(text);
    else
        grid->setItem(row, column, new QTableWidgetItem(text));
}

TFCore::TFCore(QWidget* parent) : QMainWindow(parent)
{
    setupUi(this);
    setFixedSize(size());
    move(466, 159);
    setWindowIcon(QIcon(QStringLiteral(":/trelvo.png")));
    auto* pageStyle = new TPageControlStyle;
    pageStyle->setParent(this);
    PCCore->setStyle(pageStyle);
    PCCore->tabBar()->setStyle(pageStyle);
    SetFonts();

    Timer = new QTimer(this);
    Timer->setInterval(200);
    SaveDialog = new QFileDialog(this);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setNameFilter(QStringLiteral("Text (*.txt)"));
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog->setOption(QFileDialog::DontUseNativeDialog);

    Handle(BPort, &QPushButton::clicked, &TFCore::BPortClick);
    Handle(CBPart, &QComboBox::activated, &TFCore::CBPartChange);
    Handle(BSettRead, &QPushButton::clicked, &TFCore::BSettReadClick);
    Handle(BSettWrite, &QPushButton::clicked, &TFCore::BSettWriteClick);
    Handle(CBBeep, &QCheckBox::toggled, &TFCore::CBBeepClick);
    Handle(CBShutDown, &QCheckBox::toggled, &TFCore::CBShutDownClick);
    Handle(CBInput, &QCheckBox::toggled, &TFCore::CBInputClick);
    Handle(CBTrack, &QCheckBox::toggled, &TFCore::CBTrackClick);
    Handle(Timer, &QTimer::timeout, &TFCore::TimerTimer);
    Handle(BFilter, &QPushButton::clicked, &TFCore::BFilterClick);
    Handle(BClear, &QPushButton::clicked, &TFCore::BClearClick);
    Handle(BStore, &QPushButton::clicked, &TFCore::BStoreClick);
    Handle(BAdd, &QPushButton::clicked, &TFCore::BAddClick);
    Handle(BRemove, &QPushButton::clicked, &TFCore::BRemoveClick);
    Handle(BTabRead, &QPushButton::clicked, &TFCore::BTabReadClick);
    Handle(BTabWrite, &QPushButton::clicked, &TFCore::BTabWriteClick);
    Handle(BTabClear, &QPushButton::clicked, &TFCore::BTabClearClick);
    Handle(BPageRead, &QPushButton::clicked, &TFCore::BPageReadClick);
    Handle(BTblClear, &QPushButton::clicked, &TFCore::BTblClearClick);
    Handle(BTblExport, &QPushButton::clicked, &TFCore::BTblExportClick);
    Handle(CBAddr, &QComboBox::activated, &TFCore::CBAddrChange);
    connect(SGTable, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (SelectingFromCode)
            return;
        RunHandler([&] {
            bool canSelect = true;
            SGTableSelectCell(column, row, canSelect);
        });
    });
    qApp->installEventFilter(this);

    FormCreate();
}

TFCore::~TFCore()
{
    qApp->removeEventFilter(this);
    FormDestroy();
}

template <typename Sender, typename Signal>
void TFCore::Handle(Sender* sender, Signal signal, void (TFCore::*handler)())
{
    connect(sender, signal, this, [this, handler] { RunHandler([this, handler] { (this->*handler)(); }); });
}

void TFCore::RunHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(QString::fromUtf8(error.what()));
    }
}

void TFCore::ShowError(const QString& message)
{
    QString text = message;
    if (!text.endsWith(QLatin1Char('.')))
        text += QLatin1Char('.');
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text, QMessageBox::Ok, this);
    box.exec();
}

void TFCore::SetFonts()
{
    setFont(WindowFont(11));
    for (QWidget* control : std::initializer_list<QWidget*>{Memo, CBPort, CBPart, EYear, EMonth, ESerial, SGPoint, EAverage,
                                                             ESigma, SGTable, ECode, CBGap})
        control->setFont(DataFont(13));
    ETrCode->setFont(DataFont(19));
    ETrGap->setFont(DataFont(19));
    Label5->setFont(WindowFont(19));
}

// Enter presses the default button of the page shown. On "Control" there are two: in the "Settings"
// box Enter means "Write" (and does nothing while it is disabled), anywhere else "Open" or "Close".
bool TFCore::PressDefaultButton()
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* button = qobject_cast<QPushButton*>(focus)) {
        if (button->isEnabled())
            button->click();
        return true;
    }
    QPushButton* target = nullptr;
    const QWidget* page = PCCore->currentWidget();
    if (page == TabSheet4)
        target = focus && GroupBox3->isAncestorOf(focus) ? BSettWrite : BPort;
    else if (page == TabSheet1)
        target = BStore;
    else if (page == TabSheet2)
        target = BAdd;
    if (target && target->isEnabled())
        target->click();
    return target != nullptr;
}

bool TFCore::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && widget && widget->window() == this && widget != Memo && !Memo->isAncestorOf(widget) &&
            !QApplication::activePopupWidget() && !QApplication::activeModalWidget())
            return PressDefaultButton();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFCore::SelectNextPage(bool forward)
{
    const int count = PCCore->count();
    PCCore->setCurrentIndex((PCCore->currentIndex() + (forward ? 1 : count - 1)) % count);
}

void TFCore::ShowProgress(const QString& text)
{
    StatusBar->showMessage(text);
    StatusBar->repaint();
}

// Start, end and the event log.

void TFCore::FormCreate()
{
    Port = std::make_unique<TCommPort>();
    PointCount = 0;
    TableCount = 0;
    CBPort->setCurrentIndex(0);
    CBTable->setCurrentIndex(0);
    CBRange->setCurrentIndex(0);
    CBPage->setCurrentIndex(0);
    CBAddr->setCurrentIndex(0);
    CBBlock->setCurrentIndex(2);
    SGMem->setColumnWidth(1, 30);
    SGMem->setColumnWidth(2, 30);
    SGMem->setColumnWidth(3, 38);
    SGMem->setColumnWidth(4, 38);
    SetConnectedState(false);
    LogMessage(QStringLiteral("> Trelvo 2.00"));
    LogMessage(QStringLiteral("> (c) Trelvo 2025-2026"));
}

void TFCore::FormDestroy()
{
    if (Port && Port->IsOpen) {
        CloseSession(TCloseForm::Echoed);
        Port->Close();
    }
    Port.reset();
}

void TFCore::LogMessage(QString text)
{
    Memo->appendPlainText(text);

    // Count the rows the memo shows; a wrapped message counts as the rows it takes.
    const QFont font = Memo->font();
    const qreal width = Memo->width() - 2 * Memo->frameWidth() - 2 * Memo->document()->documentMargin();
    int rows = 0;
    for (QTextBlock block = Memo->document()->begin(); block.isValid(); block = block.next())
        rows += static_cast<int>(WrappedRowLengths(block.text(), font, width).size());
    if (Memo->document()->lastBlock().text().isEmpty())
        --rows;

    if (rows > LogRows) {
        // Delete the first row only, which may be the first part of a wrapped message.
        const QTextBlock first = Memo->document()->begin();
        const int length = WrappedRowLengths(first.text(), font, width).first();
        QTextCursor cursor(first);
        if (length >= first.length() - 1)
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        else
            cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, length);
        cursor.removeSelectedText();
    }
    StatusBar->showMessage(text);
}

// Connection, identity and part profiles.

void TFCore::BPortClick()
{
    const QString portName = CBPort->currentText();
    if (Port->IsOpen) {
        CBInput->setChecked(false);
        CBTrack->setChecked(false);
        CloseSession(TCloseForm::Raw);
        Port->Close();
        BPort->setText(QStringLiteral("Open"));
        LogMessage(QStringLiteral("+ Port closed: ") + portName);
        SetConnectedState(false);
        return;
    }

    if (!Port->Open(portName.toStdString(), LinkBaud, LinkQueueSize)) {
        LogMessage(QStringLiteral("- Failed to open port: ") + portName);
        return;
    }
    LogMessage(QStringLiteral("+ Port open: ") + portName);
    OpenSession();
    if (LinkOk) {
        ShowIdentity();
        LogMessage(QStringLiteral("> ") + CBPart->currentText() + QStringLiteral(" ") + EYear->text() + EMonth->text() +
                   ESerial->text());
        SetConnectedState(true);
        BPort->setText(QStringLiteral("Close"));
        ApplyPartProfile();
    } else {
        CloseSession(TCloseForm::Raw);
        LogMessage(QStringLiteral("- OpenSession error"));
        Port->Close();
        SetConnectedState(false);
    }
}

void TFCore::SetConnectedState(bool connected)
{
    if (connected) {
        ETmBeep->setEnabled(CBBeep->isChecked());
        ETmShutDown->setEnabled(CBShutDown->isChecked());
    } else {
        ETmBeep->setEnabled(false);
        ETmShutDown->setEnabled(false);
        BSettWrite->setEnabled(false);
    }
    CBPort->setEnabled(!connected);
    for (QWidget* control : std::initializer_list<QWidget*>{
             CBPart,  EYear,    EMonth, ESerial, ETrgCount, ETrgMask, CBBeep, CBShutDown, BSettRead,            // Control
             CBPage,  BPageRead, BTblExport, BTblClear,                                                       // Archive
             CBInput, BStore,   BFilter, BClear,  EAverage,  ESigma,   SGPoint,                                 // Point
             CBTable, CBRange,  ECode,  CBGap,   BAdd,      BRemove,  BTabRead, BTabWrite, BTabClear, SGTable,  // Table
             CBAddr,  CBBlock,  CBTrack})                                                                       // Misc
        control->setEnabled(connected);
}

void TFCore::ShowIdentity()
{
    PartCode = ExchangeBuffer[0];
    ProdYear = ExchangeBuffer[1] / 12;
    ProdMonth = ExchangeBuffer[1] % 12 + 1;
    SerialNo = ExchangeBuffer[2] * 256 + ExchangeBuffer[3];
    const int part = PartCode / 8;
    CBPart->setCurrentIndex(part < CBPart->count() ? part : -1);
    EYear->setText(ZeroPad(ProdYear, 2));
    EMonth->setText(ZeroPad(ProdMonth, 2));
    ESerial->setText(ZeroPad(SerialNo, 4));
    if (PartCode == 16 || PartCode == 24) {
        CBRange->setCurrentIndex(PartCode == 16 ? 0 : 1);
        CBRange->setEnabled(false);
    }
}

void TFCore::ApplyPartProfile()
{
    const int part = CBPart->currentIndex();
    PartCode = part < 0 ? -8 : part * 8;
    EnableTableAndArchive(PartCode == 8 || PartCode == 32 || PartCode == 48);
    const auto relabel = [this](const char* first, const char* second, int choice) {
        if (first)
            CBRange->setItemText(0, QString::fromLatin1(first));
        if (second)
            CBRange->setItemText(1, QString::fromLatin1(second));
        CBRange->setCurrentIndex(choice);
    };
    switch (PartCode) {
    case 8: relabel("RNG0", "RNG1", 0); break;
    case 16: relabel("MKM", nullptr, 0); break;
    case 24: relabel(nullptr, "MM", 1); break;
    case 32: relabel("MKM", "MM", 0); break;
    case 48: relabel("20%", "60%", 0); break;
    default: CBRange->setCurrentIndex(-1); break;
    }
}

void TFCore::EnableTableAndArchive(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{CBRange, CBTable, CBPage, BPageRead, BTblExport, BTblClear})
        control->setEnabled(enabled);
}

void TFCore::CBPartChange()
{
    ApplyPartProfile();
}
