#include "lists.h"

#include "core/keycodes.h"
#include "core/paths.h"
#include "volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

namespace {
Qt::MouseButton primaryOr(Qt::MouseButton b)
{
    return b == Qt::NoButton ? Qt::LeftButton : b;
}
} // namespace

// ---- DriveList

DriveList::DriveList(QWidget *parent)
    : QComboBox(parent)
{
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < m_roots.size()) {
            Q_EMIT changed();
        }
    });
}

void DriveList::setRoots(const QStringList &roots)
{
    const QSignalBlocker blocker(this);
    m_roots = roots;
    clear();
    for (const QString &root : roots) {
        addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), QDir::toNativeSeparators(root));
    }
}

QString DriveList::drive() const
{
    const int i = currentIndex();
    return i >= 0 && i < m_roots.size() ? m_roots[i] : QString();
}

bool DriveList::setDrive(const QString &path)
{
    if (path.isEmpty()) {
        return false;
    }
    const int index = int(m_roots.indexOf(volumes::rootOf(path, m_roots)));
    if (index < 0) {
        return false;
    }
    if (index != currentIndex()) {
        setCurrentIndex(index);
        Q_EMIT changed();
    }
    return true;
}

QString DriveList::currentFolder(const QString &root) const
{
    return m_lastFolder.value(root, root);
}

void DriveList::rememberFolder(const QString &folder)
{
    const QString root = volumes::rootOf(folder, m_roots);
    if (!root.isEmpty()) {
        m_lastFolder.insert(root, folder);
    }
}

// ---- DirList

namespace {
constexpr int kPathRole = Qt::UserRole;
} // namespace

DirList::DirList(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this, &DirList::open);
}

bool DirList::setPath(const QString &path)
{
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        return false;
    }
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    const bool changedPath = clean != m_path;
    m_path = clean;
    fill();
    if (changedPath) {
        Q_EMIT changed();
    }
    return true;
}

void DirList::fill()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QStringList chain;
    QDir dir(m_path);
    chain.prepend(dir.absolutePath());
    while (dir.cdUp()) {
        chain.prepend(dir.absolutePath());
    }
    int level = 0;
    QListWidgetItem *current = nullptr;
    for (const QString &folder : chain) {
        const QString name = QDir(folder).isRoot() ? QDir::toNativeSeparators(folder)
                                                   : QFileInfo(folder).fileName();
        auto *item = new QListWidgetItem(openIcon, QString(level * 2, QLatin1Char(' ')) + name, this);
        item->setData(kPathRole, folder);
        current = item;
        ++level;
    }
    const QStringList subfolders = QDir(m_path).entryList(
        QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : subfolders) {
        auto *item = new QListWidgetItem(closedIcon, QString(level * 2, QLatin1Char(' ')) + name, this);
        item->setData(kPathRole, QDir(m_path).filePath(name));
    }
    if (current) {
        const QSignalBlocker blocker(this);
        setCurrentItem(current);
    }
}

void DirList::open(QListWidgetItem *item)
{
    if (item) {
        setPath(item->data(kPathRole).toString());
    }
}

// ---- FileList

FileList::FileList(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
}

QString FileList::pattern()
{
    return QStringLiteral("*.bmp;*.wmf;*.gif;*.jpg");
}

bool FileList::setPath(const QString &path)
{
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable()) {
        return false;
    }
    return listFolder(QDir::cleanPath(info.absoluteFilePath()));
}

void FileList::refresh()
{
    listFolder(m_path);
}

bool FileList::listFolder(const QString &path)
{
    QDir dir(path);
    if (!dir.exists()) {
        return false;
    }
    dir.setNameFilters(pattern().split(QLatin1Char(';')));
    // QDir matches name filters without regard to case unless told otherwise; hidden files are
    // left out because QDir::Hidden is not given.
    const QStringList names = dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    const QString selected = path == m_path ? fileName() : QString();
    m_path = path;
    clear();
    addItems(names);
    if (!selected.isEmpty()) {
        const auto found = findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!found.isEmpty()) {
            setCurrentItem(found.first());
        }
    }
    return true;
}

QString FileList::fileName() const
{
    const QListWidgetItem *item = currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

QString FileList::list(int index) const
{
    const QListWidgetItem *it = index >= 0 && index < count() ? item(index) : nullptr;
    return it ? it->text() : QString();
}

QString FileList::filePath(const QString &name) const
{
    return QDir::toNativeSeparators(paths::join(m_path, name));
}

void FileList::keyPressEvent(QKeyEvent *event)
{
    // Left and Right browse the list like Up and Down.
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        QKeyEvent moved(event->type(), event->key() == Qt::Key_Left ? Qt::Key_Up : Qt::Key_Down,
                        event->modifiers(), event->text(), event->isAutoRepeat(), event->count());
        QListWidget::keyPressEvent(&moved);
        event->setAccepted(moved.isAccepted());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FileList::keyReleaseEvent(QKeyEvent *event)
{
    QListWidget::keyReleaseEvent(event);
    const int code = vk::fromQtKey(event->key());
    if (code != vk::None && !event->isAutoRepeat()) {
        Q_EMIT keyUp(code, vk::shiftState(event->modifiers()));
    }
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    // The item under the pointer is selected before the handler runs.
    QListWidget::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    Q_EMIT mouseDown(int(primaryOr(event->button())), vk::shiftState(event->modifiers()), p.x(),
                     p.y());
}

void FileList::mouseReleaseEvent(QMouseEvent *event)
{
    QListWidget::mouseReleaseEvent(event);
    const QPoint p = event->position().toPoint();
    Q_EMIT mouseUp(int(primaryOr(event->button())), vk::shiftState(event->modifiers()), p.x(),
                   p.y());
}
