#include "qtservices.h"

#include "core/keycodes.h"
#include "core/twips.h"
#include "volumes.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScreen>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

QtServices::QtServices(QString helpViewer)
    : m_helpViewer(std::move(helpViewer))
{
}

QtServices::~QtServices() = default;

Services::Answer QtServices::messageBox(
    const QString &text, Buttons buttons, Icon icon, const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    // A file name is shown as it is: "<b>x<i>.jpg" is not read as markup, so the box names the
    // file that will be acted on.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
}

std::optional<QString> QtServices::saveAs(const QString &initialFileName)
{
    // The rename never replaces a file, so the dialog need not ask about one either; the rename
    // itself reports a name that is taken.
    const QString chosen = QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(),
        initialFileName, QString(), nullptr, QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

QPrinter &QtServices::printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *m_printer;
}

std::optional<QtServices::Printers> QtServices::lookUpPrinters(int waitMs)
{
    static std::mutex mutex;
    static std::shared_future<Printers> pending;
    const std::lock_guard<std::mutex> lock(mutex);
    if (!pending.valid()) {
        // A detached thread and a promise rather than std::async: the future of std::async
        // would wait for a stuck look-up when it is destroyed, at the latest at the program's end.
        auto promise = std::make_shared<std::promise<Printers>>();
        pending = promise->get_future().share();
        std::thread([promise] {
            // Names only: building a print device for each printer would ask the print system
            // for every printer's driver file.
            promise->set_value(Printers {
                QPrinterInfo::availablePrinterNames(), QPrinterInfo::defaultPrinterName() });
        }).detach();
    }
    if (pending.wait_for(std::chrono::milliseconds(waitMs)) != std::future_status::ready) {
        return std::nullopt;
    }
    Printers printers = pending.get();
    pending = {};
    return printers;
}

bool QtServices::hasPrinter()
{
    const auto printers = lookUpPrinters();
    return printers && !printers->installed.isEmpty();
}

QString QtServices::printerToUse(
    const QString &chosen, const QStringList &installed, const QString &currentDefault)
{
    // A printer picked in the setup dialog that has since been removed fails the print rather
    // than sending the picture to some other printer the user did not pick.
    const QString wanted = chosen.isEmpty() ? currentDefault : chosen;
    if (wanted.isEmpty() || !installed.contains(wanted)) {
        return QString();
    }
    return wanted;
}

void QtServices::choosePrinter(const QString &printerName)
{
    m_chosenPrinter = printerName;
}

Services::PrinterSetup QtServices::setUpPrinter()
{
    // Until the print system has answered, nothing else may ask it: the printer object and the
    // dialog would ask it again and wait as long as it keeps silent.
    const auto printers = lookUpPrinters();
    if (!printers || printers->installed.isEmpty()) {
        return PrinterSetup::NoPrinter;
    }
    QPrinter &p = printer();
    // The dialog opens on the printer the next print would go to, which is no longer the
    // printer's start-up default once the system's default has changed.
    const QString current
        = printerToUse(m_chosenPrinter, printers->installed, printers->currentDefault);
    if (!current.isEmpty()) {
        p.setPrinterName(current);
    }
    QPrintDialog dialog(&p, QApplication::activeWindow());
    // Setting up a printer chooses a printer; a file is not one, and there are no pages to pick.
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize);
    if (dialog.exec() != QDialog::Accepted) {
        return PrinterSetup::Cancelled;
    }
    choosePrinter(p.outputFormat() == QPrinter::NativeFormat ? p.printerName() : QString());
    return PrinterSetup::Chosen;
}

bool QtServices::printWidget(QWidget *widget)
{
    if (!widget) {
        return false;
    }
    // A print system that does not answer in time fails the print; until it has answered,
    // nothing else may ask it (the printer object would, and wait as long as it keeps silent).
    const auto printers = lookUpPrinters();
    if (!printers) {
        return false;
    }
    // With no printer Qt quietly prints into a PDF file; that is not what the user asked for.
    const QString target
        = printerToUse(m_chosenPrinter, printers->installed, printers->currentDefault);
    if (target.isEmpty()) {
        return false;
    }
    QPrinter &p = printer();
    // Only a change of printer touches the printer object, so the page settings made in the
    // setup dialog stay.
    if (p.outputFormat() != QPrinter::NativeFormat) {
        p.setOutputFormat(QPrinter::NativeFormat);
    }
    if (p.printerName() != target) {
        p.setPrinterName(target);
    }
    // Qt falls back to a PDF file when the printer vanished between the look-up and here.
    if (p.outputFormat() != QPrinter::NativeFormat || p.printerName() != target) {
        return false;
    }
    p.setDocName(widget->window()->windowTitle());
    const QPixmap image = widget->grab();
    if (image.isNull()) {
        return false;
    }
    QPainter painter;
    if (!painter.begin(&p)) {
        return false;
    }
    // The viewport is the printable part of the page; the picture keeps its proportions and sits
    // in the middle of it.
    const QRect page = painter.viewport();
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    const QRect area(page.x() + (page.width() - size.width()) / 2,
        page.y() + (page.height() - size.height()) / 2, size.width(), size.height());
    painter.drawPixmap(area, image);
    return painter.end();
}

void QtServices::showHelp(const QString &helpFile, int command, const QString &keyword)
{
    // A viewer started for a file that another viewer already shows hands it the request and
    // ends: that help window comes to the front at the keyword. The program itself keeps out of
    // the viewers' channel (and its network library out of its memory).
    QProcess::startDetached(m_helpViewer, { helpFile, QString::number(command), keyword });
}

void QtServices::sendKey(int virtualKey)
{
    QWidget *target = QApplication::focusWidget();
    if (!target) {
        target = QApplication::activeWindow();
    }
    if (!target) {
        return;
    }
    int qtKey = 0;
    if (virtualKey >= vk::F1 && virtualKey <= vk::F1 + 23) {
        qtKey = Qt::Key_F1 + (virtualKey - vk::F1);
    }
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void QtServices::endProgram()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

QSizeF QtServices::screenSizeTwips() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return QSizeF(800 * 15.0, 600 * 15.0);
    }
    const float tpp = twipsPerPixel();
    return QSizeF(screen->geometry().width() * tpp, screen->geometry().height() * tpp);
}

float QtServices::twipsPerPixel() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return twips::perPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

void QtServices::setBusy(bool busy)
{
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

Qt::CaseSensitivity QtServices::fileNameCase() const
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

QStringList QtServices::volumeRoots() const
{
    return volumes::roots();
}
