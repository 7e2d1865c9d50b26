#include "mainwindowcontrols.h"

#include "platform/controls.h"
#include "proportionallayout.h"
#include "thumbnailstrip.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>

using layout::ControlKind;

namespace {

template<class Control>
Control *place(ProportionalLayout &layout, ControlKind kind, Control *control, const char *name,
    const QRectF &designTwips)
{
    control->setObjectName(QLatin1String(name));
    layout.add(kind, control, designTwips);
    return control;
}

} // namespace

MainWindowControls::MainWindowControls(
    QWidget *inner, ProportionalLayout &layout, float twipsPerPixel)
{
    hotKeyPicture = place(layout, ControlKind::PictureBox, new PictureBox(twipsPerPixel, inner),
        "Picture1", QRectF(120, 120, 480, 480));
    hotKeyPicture->setPixmap(
        inner->style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    hotKeyPicture->setToolTip(QStringLiteral("Hot keys"));
    hotKeyPicture->setAccessibleName(QStringLiteral("Hot keys"));
    hotKeyPicture->setAccessibleDescription(QStringLiteral("Shows the keys the viewer knows"));
    loader = place(layout, ControlKind::PictureBox, new PictureBox(twipsPerPixel, inner),
        "Picture2", QRectF(720, 120, 480, 480));
    loader->hide(); // the loader is never seen
    driveList = place(layout, ControlKind::DriveList, new DriveList(inner), "Drive1",
        QRectF(120, 840, 1995, 315));
    driveList->setAccessibleName(QStringLiteral("Drives"));
    driveList->setAccessibleDescription(QStringLiteral("The drive whose folders are listed"));
    folderList = place(
        layout, ControlKind::Other, new DirList(inner), "Dir1", QRectF(120, 1200, 1995, 1155));
    folderList->setAccessibleName(QStringLiteral("Folders"));
    folderList->setAccessibleDescription(
        QStringLiteral("The folder's parents, then its subfolders; Enter opens one"));
    // The reference box lies beneath the file list, where nobody sees or reaches it.
    referenceBox = place(layout, ControlKind::Other, new ImageBox(twipsPerPixel, inner), "Image1",
        QRectF(1800, 5820, 255, 255));
    fileList = place(
        layout, ControlKind::Other, new FileList(inner), "File1", QRectF(120, 2400, 1995, 3930));
    fileList->setAccessibleName(QStringLiteral("Pictures"));
    fileList->setAccessibleDescription(
        QStringLiteral("The folder's pictures; selecting one puts it into the next thumbnail"));
    strip = new ThumbnailStrip(inner, twipsPerPixel);
    for (int i = 0; i < ThumbnailStrip::kSlotCount; ++i) {
        layout.add(ControlKind::Other, strip->picture(i), ThumbnailStrip::designPictureBox(i));
    }
    for (int i = 0; i < ThumbnailStrip::kSlotCount; ++i) {
        layout.add(ControlKind::Other, strip->caption(i), ThumbnailStrip::designCaptionBox(i));
    }
    pathLabel = place(
        layout, ControlKind::Other, new QLabel(inner), "Label1", QRectF(2220, 6000, 7215, 315));
    // A file name is shown as it is, never read as markup, on the system's control colour, so
    // the black text stays readable on every background colour the window takes.
    pathLabel->setTextFormat(Qt::PlainText);
    pathLabel->setAutoFillBackground(true);
    pathLabel->setBackgroundRole(QPalette::Button);
    pathLabel->setForegroundRole(QPalette::ButtonText);
    pathLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    setPathLabel(pathLabel, QString());

    referenceBox->lower();
    QWidget::setTabOrder(driveList, folderList);
    QWidget::setTabOrder(folderList, fileList);
}

void setPathLabel(QLabel *label, const QString &path)
{
    label->setText(path);
    // Named also while empty, so that a screen reader says what the label is for.
    label->setAccessibleName(
        path.isEmpty() ? QStringLiteral("Current file") : QStringLiteral("Current file: ") + path);
}

void buildMenu(QMainWindow &window, const std::vector<MenuItem> &items, ProportionalLayout &layout)
{
    QMenu *help = nullptr;
    for (const MenuItem &item : items) {
        const QString caption = QString::fromLatin1(item.caption);
        QAction *action = nullptr;
        switch (item.place) {
        case MenuItem::Place::Bar:
            action = window.menuBar()->addAction(caption);
            break;
        case MenuItem::Place::Help:
            if (!help) {
                help = window.menuBar()->addMenu(QStringLiteral("&Help"));
                help->menuAction()->setObjectName(QStringLiteral("help"));
                layout.add(ControlKind::MenuItem);
            }
            action = help->addAction(caption);
            break;
        case MenuItem::Place::Separator:
            action = help ? help->addSeparator() : new QAction(&window);
            break;
        case MenuItem::Place::Hidden:
            action = new QAction(caption, &window);
            action->setVisible(false);
            action->setEnabled(false);
            break;
        }
        action->setObjectName(QLatin1String(item.name));
        layout.add(ControlKind::MenuItem);
        if (item.handler) {
            QObject::connect(action, &QAction::triggered, &window, item.handler);
        }
    }
}
