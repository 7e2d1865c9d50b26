#include "lists.h"

#include "core/keycodes.h"
#include "core/paths.h"
#include "system/bounded.h"
#include "system/files.h"
#include "volumes.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMutex>
#include <QStyle>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unicode/ucol.h>

namespace {

Qt::MouseButton primaryOr(Qt::MouseButton b)
{
    return b == Qt::NoButton ? Qt::LeftButton : b;
}

bool hasSuffix(const char *name, size_t length, const std::vector<QByteArray> &suffixes)
{
    for (const QByteArray &suffix : suffixes) {
        const size_t n = size_t(suffix.size());
        if (length >= n && ::strncasecmp(name + length - n, suffix.constData(), n) == 0) {
            return true;
        }
    }
    return false;
}

// The folder above the clean absolute `folder`; the root is its own.
QString parentFolder(const QString &folder)
{
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QDir::rootPath() : folder.left(slash);
}

// `path` made absolute and clean, from its text alone.
std::optional<QString> absoluteClean(const QString &path)
{
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().filePath(path));
}

// The collation of a locale as ICU gives it, opened once: opening reads the locale's tailoring.
// Lists are sorted on any thread, one at a time.
class Collation
{
public:
    ~Collation()
    {
        if (m_collator) {
            ucol_close(m_collator);
        }
    }
    // The collator for `locale`, or null when ICU has none; valid until the next call.
    UCollator *open(const QLocale &locale)
    {
        // Qt's C collation is plain code-point order; English has no tailoring of its own, so
        // it gives the Unicode collation's neutral order.
        const QByteArray name = locale.language() == QLocale::C
            ? QByteArray("en_US")
            : locale.bcp47Name().toLatin1().replace('-', '_');
        if (m_collator && name == m_name) {
            return m_collator;
        }
        if (m_collator) {
            ucol_close(m_collator);
            m_collator = nullptr;
        }
        UErrorCode status = U_ZERO_ERROR;
        UCollator *collator = ucol_open(name.constData(), &status);
        if (U_FAILURE(status)) {
            return nullptr;
        }
        // Accents still count, case does not; digits by their value; composed and decomposed
        // spellings of a letter alike.
        ucol_setAttribute(collator, UCOL_STRENGTH, UCOL_SECONDARY, &status);
        ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
        ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        if (U_FAILURE(status)) {
            ucol_close(collator);
            return nullptr;
        }
        m_collator = collator;
        m_name = name;
        return m_collator;
    }

    QMutex mutex;

private:
    UCollator *m_collator = nullptr;
    QByteArray m_name;
};

Collation &collation()
{
    static Collation s_collation;
    return s_collation;
}

} // namespace

namespace lists {

QByteArrayView NameList::bytes(size_t index) const
{
    const Span span = m_spans[index];
    return QByteArrayView(m_text).sliced(qsizetype(span.begin), qsizetype(span.length));
}

QString NameList::at(qsizetype index) const
{
    return index >= 0 && index < size() ? systemfiles::decodeName(bytes(size_t(index))) : QString();
}

qsizetype NameList::indexOf(QStringView name) const
{
    const QByteArray wanted = systemfiles::encodeName(name);
    for (size_t i = 0; i < m_spans.size(); ++i) {
        if (bytes(i) == wanted) {
            return qsizetype(i);
        }
    }
    return -1;
}

void NameList::append(QStringView name)
{
    const QByteArray encoded = systemfiles::encodeName(name);
    appendEncoded(encoded.constData(), size_t(encoded.size()));
}

void NameList::appendEncoded(const char *name, size_t length)
{
    m_spans.push_back({ quint32(m_text.size()), quint32(length) });
    m_text.append(name, qsizetype(length));
}

void NameList::sort(const QLocale &locale)
{
    const size_t count = m_spans.size();
    if (count < 2) {
        return;
    }
    // Each name's sort key is made once. Its first twelve bytes, enough to tell most names
    // apart, go into the row the sort moves; the rest of all keys into one buffer, read only on
    // a tie in those bytes.
    constexpr size_t kPrefix = 12;
    struct Row
    {
        quint64 first;
        quint32 second;
        quint32 row;
    };
    std::vector<Row> rows(count);
    std::vector<quint32> tailStart(count);
    std::vector<char> tails;
    tails.reserve(count * 8);
    {
        Collation &order = collation();
        const QMutexLocker locker(&order.mutex);
        UCollator *collator = order.open(locale);
        std::vector<UChar> wide;
        QString decoded;
        std::vector<quint8> key(256);
        for (size_t i = 0; i < count; ++i) {
            // ICU reads UTF-16: plain ASCII is widened into one reused buffer, the rest decoded.
            const QByteArrayView name = bytes(i);
            const UChar *text = nullptr;
            int32_t length = 0;
            if (std::all_of(name.begin(), name.end(), [](char c) { return uchar(c) < 0x80; })) {
                wide.assign(name.begin(), name.end());
                text = wide.data();
                length = int32_t(wide.size());
            } else {
                decoded = systemfiles::decodeName(name);
                text = reinterpret_cast<const UChar *>(decoded.constData());
                length = int32_t(decoded.size());
            }
            int32_t keyLength = 0;
            if (collator) {
                keyLength
                    = ucol_getSortKey(collator, text, length, key.data(), int32_t(key.size()));
                if (size_t(keyLength) > key.size()) {
                    key.resize(size_t(keyLength));
                    keyLength = ucol_getSortKey(collator, text, length, key.data(), keyLength);
                }
            }
            // The key ends in a zero byte; a failed key is that byte alone. Past the end of the
            // key the prefix reads zeros.
            const size_t used = keyLength > 0 ? size_t(keyLength) - 1 : 0;
            quint8 prefix[kPrefix] = {};
            std::memcpy(prefix, key.data(), std::min(used, kPrefix));
            quint64 first = 0;
            quint32 second = 0;
            for (size_t b = 0; b < 8; ++b) {
                first = first << 8 | prefix[b];
            }
            for (size_t b = 8; b < kPrefix; ++b) {
                second = second << 8 | prefix[b];
            }
            rows[i] = { first, second, quint32(i) };
            tailStart[i] = quint32(tails.size());
            if (used > kPrefix) {
                tails.insert(tails.end(), key.begin() + std::ptrdiff_t(kPrefix),
                    key.begin() + std::ptrdiff_t(used));
            }
            tails.push_back(0);
        }
    }
    std::sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) {
        if (a.first != b.first) {
            return a.first < b.first;
        }
        if (a.second != b.second) {
            return a.second < b.second;
        }
        const int byKey = std::strcmp(&tails[tailStart[a.row]], &tails[tailStart[b.row]]);
        if (byKey != 0) {
            return byKey < 0;
        }
        // UTF-8 bytes compare in code-point order.
        return bytes(a.row).compare(bytes(b.row)) < 0;
    });
    std::vector<char>().swap(tails);
    std::vector<quint32>().swap(tailStart);
    // The entries take their new places through the rows, which are not needed after.
    static_assert(sizeof(Span) <= sizeof(quint64));
    for (Row &r : rows) {
        std::memcpy(&r.first, &m_spans[r.row], sizeof(Span));
    }
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&m_spans[i], &rows[i].first, sizeof(Span));
    }
}

std::optional<NameList> readNames(
    const QString &folder, EntryKind kind, const QStringList &suffixes)
{
    const QByteArray encoded = systemfiles::encodeName(folder);
    DIR *dir = ::opendir(encoded.constData());
    if (!dir) {
        return std::nullopt;
    }
    std::vector<QByteArray> wanted;
    for (const QString &suffix : suffixes) {
        wanted.push_back(systemfiles::encodeName(suffix));
    }
    const int fd = ::dirfd(dir);
    NameList names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        // Hidden entries, "." and "..".
        if (name[0] == '.') {
            continue;
        }
        const size_t length = std::strlen(name);
        if (kind == EntryKind::Files && !hasSuffix(name, length, wanted)) {
            continue;
        }
        bool take = false;
        switch (entry->d_type) {
        case DT_REG:
            take = kind == EntryKind::Files;
            break;
        case DT_DIR:
            take = kind == EntryKind::Folders;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // Only links, and file systems that give no type, cost a look at the entry itself.
            struct stat st;
            take = ::fstatat(fd, name, &st, 0) == 0
                && (kind == EntryKind::Files ? S_ISREG(st.st_mode) : S_ISDIR(st.st_mode));
            break;
        }
        default:
            break;
        }
        if (take) {
            names.appendEncoded(name, length);
        }
        errno = 0;
    }
    const bool failed = errno != 0;
    ::closedir(dir);
    if (failed) {
        return std::nullopt;
    }
    return names;
}

std::optional<NameList> listWithin(const QString &folder, EntryKind kind,
    const QStringList &suffixes, const Reader &reader, std::chrono::milliseconds limit)
{
    auto result = std::make_shared<std::optional<NameList>>();
    const bool answered = systemfiles::runWithin(
        limit, QStringLiteral("list:") + folder, [result, folder, kind, suffixes, reader] {
            // Through the name's own bytes: a Qt file class would encode a name that is no text
            // lossily and look at another folder.
            if (!systemfiles::isListableFolder(folder)) {
                return;
            }
            *result = reader(folder, kind, suffixes);
            if (*result) {
                (*result)->sort();
            }
        });
    return answered ? std::move(*result) : std::nullopt;
}

void refreshAll(DriveList &drives, DirList &folders, FileList &files)
{
    drives.refresh();
    const QString shown = folders.path();
    folders.refresh();
    if (folders.path() != shown) {
        return; // the folder list's changed() lists the files of where it went
    }
    if (files.path() == folders.path()) {
        files.refresh();
    } else {
        files.setPath(folders.path());
    }
}

} // namespace lists

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
    const QString current = drive();
    m_roots = roots;
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const QString &root : roots) {
        addItem(icon, QDir::toNativeSeparators(root));
    }
    // The current volume stays current; where it was unmounted, the volume that now holds its
    // place is shown, as the user would find it on opening the list.
    const QString keep = current.isEmpty() ? QString() : volumes::rootOf(current, m_roots);
    const int index = int(m_roots.indexOf(keep));
    if (index >= 0) {
        setCurrentIndex(index);
    }
}

void DriveList::setRootSource(std::function<QStringList()> source)
{
    m_source = std::move(source);
    refresh();
}

void DriveList::refresh()
{
    if (!m_source) {
        return;
    }
    const QStringList fresh = m_source();
    if (fresh != m_roots) {
        setRoots(fresh);
    }
}

void DriveList::showPopup()
{
    refresh();
    QComboBox::showPopup();
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

void DirList::setReader(lists::Reader reader, std::chrono::milliseconds limit)
{
    m_reader = std::move(reader);
    m_limit = limit;
}

bool DirList::setPath(const QString &path)
{
    const std::optional<QString> listable = absoluteClean(path);
    if (!listable) {
        return false;
    }
    const QString &clean = *listable;
    // Read before anything changes, so a folder that cannot be read leaves the list as it was.
    const std::optional<lists::NameList> subfolders
        = lists::listWithin(clean, lists::EntryKind::Folders, {}, m_reader, m_limit);
    if (!subfolders) {
        return false;
    }
    const bool changedPath = clean != m_path;
    fill(clean, *subfolders);
    if (changedPath) {
        Q_EMIT changed();
    }
    return true;
}

bool DirList::refresh()
{
    QString folder = m_path;
    while (!folder.isEmpty()) {
        if (setPath(folder)) {
            return true;
        }
        const QString parent = parentFolder(folder);
        folder = parent == folder ? QString() : parent;
    }
    return false;
}

void DirList::fill(const QString &path, const lists::NameList &subfolders)
{
    m_path = path;
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain is made from the text alone: asking the file system about each folder would
    // wait on every one of them, and see another folder where a name is no text.
    QStringList chain;
    for (QString folder = m_path;;) {
        chain.prepend(folder);
        const QString parent = parentFolder(folder);
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    int level = 0;
    QListWidgetItem *current = nullptr;
    for (const QString &folder : chain) {
        const QString name = parentFolder(folder) == folder
            ? QDir::toNativeSeparators(folder)
            : systemfiles::displayName(folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1));
        auto *item
            = new QListWidgetItem(openIcon, QString(level * 2, QLatin1Char(' ')) + name, this);
        item->setData(kPathRole, folder);
        current = item;
        ++level;
    }
    const QString indent(level * 2, QLatin1Char(' '));
    const QDir shown(m_path);
    for (qsizetype i = 0; i < subfolders.size(); ++i) {
        const QString name = subfolders.at(i);
        auto *item = new QListWidgetItem(closedIcon, indent + systemfiles::displayName(name), this);
        item->setData(kPathRole, shown.filePath(name));
    }
    if (current) {
        const QSignalBlocker blocker(this);
        setCurrentItem(current);
    }
}

void DirList::open(QListWidgetItem *item)
{
    if (!item) {
        return;
    }
    const QString target = item->data(kPathRole).toString();
    if (setPath(target)) {
        return;
    }
    // Read the shown folder again: a vanished entry goes, the highlight returns to the folder
    // really shown (or, when that is gone too, the list moves up and says so by changed()).
    const QString before = m_path;
    refresh();
    if (m_path == before) {
        Q_EMIT openFailed(target);
    }
}

// ---- NameListModel

void NameListModel::setNames(lists::NameList names)
{
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}

int NameListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant NameListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_names.size()) {
        return {};
    }
    // A name that is no text shows its stray bytes as replacement characters; the list still
    // holds, and acts on, the name itself.
    return systemfiles::displayName(m_names.at(index.row()));
}

// ---- FileList

namespace {
// The pattern's entries are all "*.<extension>", so a match is a suffix test.
QStringList suffixesOf(const QString &pattern)
{
    QStringList result;
    for (const QString &entry : pattern.split(QLatin1Char(';'))) {
        result.append(entry.mid(1));
    }
    return result;
}

const QStringList &patternSuffixes(bool moreFileTypes)
{
    static const QStringList s_fixed = suffixesOf(FileList::pattern());
    static const QStringList s_more = suffixesOf(FileList::pattern(true));
    return moreFileTypes ? s_more : s_fixed;
}
} // namespace

// ---- FolderModel

void FolderModel::setReader(lists::Reader reader, std::chrono::milliseconds limit)
{
    m_reader = std::move(reader);
    m_limit = limit;
}

bool FolderModel::setPath(const QString &path)
{
    const std::optional<QString> listable = absoluteClean(path);
    return listable && listFolder(*listable);
}

bool FolderModel::refresh()
{
    return !m_path.isEmpty() && listFolder(m_path);
}

void FolderModel::setMoreFileTypes(bool on)
{
    if (on == m_moreFileTypes) {
        return;
    }
    m_moreFileTypes = on;
    refresh();
}

bool FolderModel::listFolder(const QString &path)
{
    std::optional<lists::NameList> names
        = lists::listWithin(
            path, lists::EntryKind::Files, patternSuffixes(m_moreFileTypes), m_reader, m_limit);
    if (!names) {
        return false;
    }
    m_path = path;
    setNames(std::move(*names));
    return true;
}

QString FolderModel::name(int index) const
{
    return index >= 0 && index < count() ? names().at(index) : QString();
}

QString FolderModel::filePath(const QString &name) const
{
    return QDir::toNativeSeparators(paths::join(m_path, name));
}

QString FolderModel::filePath(int index) const
{
    const QString entry = name(index);
    return entry.isEmpty() ? QString() : filePath(entry);
}

int FolderModel::indexOf(const QString &path, Qt::CaseSensitivity rule) const
{
    for (int k = 0; k < count(); ++k) {
        if (paths::same(filePath(k), path, rule)) {
            return k;
        }
    }
    return -1;
}

// ---- FileList

FileList::FileList(QWidget *parent)
    : QListView(parent)
{
    setFolder(new FolderModel(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is one line of text: the view lays out any number of rows without measuring them.
    setUniformItemSizes(true);
}

void FileList::setFolder(FolderModel *folder)
{
    if (m_model) {
        disconnect(m_model, nullptr, this, nullptr);
    }
    m_model = folder;
    setModel(folder);
    // Whoever reads the folder again, the selection stays on the same file while it exists; a
    // folder change selects nothing.
    connect(folder, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_keep = fileName();
        m_keepFolder = m_model->path();
    });
    connect(folder, &QAbstractItemModel::modelReset, this, [this] {
        const int keep = m_keep.isEmpty() || m_keepFolder != m_model->path()
            ? -1
            : int(m_model->names().indexOf(m_keep));
        if (keep >= 0) {
            setCurrentRow(keep);
        }
    });
}

QString FileList::pattern()
{
    return QStringLiteral("*.bmp;*.wmf;*.gif;*.jpg");
}

QString FileList::pattern(bool moreFileTypes)
{
    // JPEGs under their other names, then what Qt's image plugins read that cameras, phones and
    // the web write.
    return moreFileTypes ? pattern() + QStringLiteral(";*.jpeg;*.jpe;*.png;*.webp;*.tif;*.tiff")
                         : pattern();
}

bool FileList::setPath(const QString &path)
{
    return m_model->setPath(path);
}

bool FileList::refresh()
{
    return m_model->refresh();
}

QString FileList::fileName() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? list(current.row())
                                                                      : QString();
}

QString FileList::list(int index) const
{
    return m_model->name(index);
}

QString FileList::filePath(const QString &name) const
{
    return m_model->filePath(name);
}

int FileList::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void FileList::setCurrentRow(int row)
{
    // A single-selection view selects the index it makes current.
    setCurrentIndex(m_model->index(row, 0));
}

void FileList::keyPressEvent(QKeyEvent *event)
{
    // Left and Right browse the list like Up and Down.
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        QKeyEvent moved(event->type(), event->key() == Qt::Key_Left ? Qt::Key_Up : Qt::Key_Down,
            event->modifiers(), event->text(), event->isAutoRepeat(), event->count());
        QListView::keyPressEvent(&moved);
        event->setAccepted(moved.isAccepted());
        return;
    }
    QListView::keyPressEvent(event);
}

void FileList::keyReleaseEvent(QKeyEvent *event)
{
    QListView::keyReleaseEvent(event);
    const int code = vk::fromQtKey(event->key());
    if (code != vk::None && !event->isAutoRepeat()) {
        Q_EMIT keyUp(code, vk::shiftState(event->modifiers()));
    }
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    // The item under the pointer is selected before the handler runs.
    QListView::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    Q_EMIT mouseDown(
        int(primaryOr(event->button())), vk::shiftState(event->modifiers()), p.x(), p.y());
}

void FileList::mouseReleaseEvent(QMouseEvent *event)
{
    QListView::mouseReleaseEvent(event);
    const QPoint p = event->position().toPoint();
    Q_EMIT mouseUp(
        int(primaryOr(event->button())), vk::shiftState(event->modifiers()), p.x(), p.y());
}
