#pragma once

#include <QAbstractListModel>
#include <QComboBox>
#include <QHash>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace lists {

// Names held in one buffer: the bytes of all names one after another as the file system spells
// them (UTF-8), and for each entry where its name lies, so a folder of many thousand files costs
// eight bytes a name beyond its own bytes. Sorting moves the entries, never the names.
class NameList
{
public:
    qsizetype size() const { return qsizetype(m_spans.size()); }
    bool isEmpty() const { return m_spans.empty(); }
    // Entry `index`, or empty outside the list.
    QString at(qsizetype index) const;
    // The first entry equal to `name`, or -1.
    qsizetype indexOf(QStringView name) const;
    void append(QStringView name);
    // Appends a name as the file system spells it.
    void appendEncoded(const char *name, size_t length);
    // Puts the names in the order they are listed in: the user's locale, without regard to
    // case, digits by their value ("IMG_2" before "IMG_10"). A locale without a collation of its
    // own (C, POSIX) takes the neutral order of the Unicode collation. Names the collation holds
    // equal ("a.gif", "A.gif") still get one fixed order.
    void sort(const QLocale &locale = QLocale());

private:
    struct Span
    {
        quint32 begin;
        quint32 length;
    };
    QByteArrayView bytes(size_t index) const;

    QByteArray m_text;
    std::vector<Span> m_spans;
};

enum class EntryKind { Files, Folders };
// The names of the entries of `folder` of one kind (links followed, hidden ones left out), read in
// one pass over the folder; for files only names whose suffix is one of `suffixes` (matched
// without regard to case). Nothing when the folder cannot be read.
std::optional<NameList> readNames(
    const QString &folder, EntryKind kind, const QStringList &suffixes = {});

// What lists a folder: readNames, or a stand-in.
using Reader
    = std::function<std::optional<NameList>(const QString &, EntryKind, const QStringList &)>;
// How long a list waits for a folder before taking it for one that cannot be listed: a folder
// on a mount whose server is gone would otherwise hold the window for good.
constexpr std::chrono::milliseconds kListingLimit { 3000 };
// The sorted names `reader` gives for the clean absolute `folder`, read on a thread of its own
// and waited for at most `limit`; nothing when it is no folder that can be listed or does not
// answer in time (and at once while an earlier listing of it has not ended).
std::optional<NameList> listWithin(const QString &folder, EntryKind kind,
    const QStringList &suffixes, const Reader &reader, std::chrono::milliseconds limit);

} // namespace lists

// The drive list: the mounted volumes. Each volume remembers the last folder shown on it.
class DriveList : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);

    // Replaces the listed volumes (tests list folders of their own).
    void setRoots(const QStringList &roots);
    // Where the volumes come from: read now, and again each time the list pops up or is
    // refreshed, so a volume mounted after start appears and one removed goes.
    void setRootSource(std::function<QStringList()> source);
    QStringList roots() const { return m_roots; }
    // Reads the volumes again from the source; the current volume stays current while it is
    // mounted. Never emits changed().
    void refresh();
    // The current volume's root.
    QString drive() const;
    // Selects the volume that holds `path`; false when no listed volume does. Emits changed()
    // when the volume is another one.
    bool setDrive(const QString &path);
    // The folder a volume opens at: the last one shown on it, else its root.
    QString currentFolder(const QString &root) const;
    void rememberFolder(const QString &folder);

    void showPopup() override;

Q_SIGNALS:
    void changed();

private:
    std::function<QStringList()> m_source;
    QStringList m_roots;
    QHash<QString, QString> m_lastFolder;
};

// The folder list: the ancestors of the current path from the root down, then its subfolders.
class DirList : public QListWidget
{
    Q_OBJECT
public:
    explicit DirList(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Shows `path`; false, and nothing changes, when it is not a folder that can be listed.
    // Emits changed() when the path is another one.
    bool setPath(const QString &path);
    // Reads the folder again in place. When the folder itself is gone, shows the nearest folder
    // above it that can be listed (and emits changed()). False when nothing could be listed.
    bool refresh();
    // What lists the folders, and how long it may take (tests stand in for a dead mount).
    void setReader(lists::Reader reader, std::chrono::milliseconds limit);

Q_SIGNALS:
    void changed();
    // The user opened `path` (double-click or Enter) but it vanished or cannot be listed: the
    // list shows what it showed before, with the stale entry gone and the highlight back on its
    // own folder.
    void openFailed(const QString &path);

private:
    void fill(const QString &path, const lists::NameList &subfolders);
    void open(QListWidgetItem *item);

    QString m_path;
    lists::Reader m_reader = lists::readNames;
    std::chrono::milliseconds m_limit = lists::kListingLimit;
};

// The names a list shows, one row each: one string per entry, nothing else, so a folder of many
// thousand files costs little to hold and nothing to lay out.
class NameListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    const lists::NameList &names() const { return m_names; }
    void setNames(lists::NameList names);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    lists::NameList m_names;
};

// The picture files of one folder, in the list's order: the names matching the file list's
// fixed pattern, read once each time the folder changes or is read again. The program holds one
// for its current folder; the file list shows it and the slide show walks it.
class FolderModel : public NameListModel
{
    Q_OBJECT
public:
    using NameListModel::NameListModel;

    QString path() const { return m_path; }
    // Lists `path`; false, and the model keeps its folder and names, when it cannot be listed.
    bool setPath(const QString &path);
    // Reads the folder again.
    bool refresh();
    int count() const { return int(names().size()); }
    // Whether the folder also lists the file types of FileList::pattern(true); a change lists
    // the folder again.
    void setMoreFileTypes(bool on);
    // Entry `index`, or empty outside the list.
    QString name(int index) const;
    // The full path of `name` in the folder, in native form (the current-file path).
    QString filePath(const QString &name) const;
    // The full path of entry `index`; empty outside the list.
    QString filePath(int index) const;
    // The entry whose full path is `path` under the file system's case rule, or -1.
    int indexOf(const QString &path, Qt::CaseSensitivity rule) const;
    // What lists the folder, and how long it may take (tests stand in for a dead mount).
    void setReader(lists::Reader reader, std::chrono::milliseconds limit);

private:
    bool listFolder(const QString &path);

    QString m_path;
    bool m_moreFileTypes = false;
    lists::Reader m_reader = lists::readNames;
    std::chrono::milliseconds m_limit = lists::kListingLimit;
};

// The file list: a view of a folder's picture files.
class FileList : public QListView
{
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);

    // The pattern, ";"-separated, matched without regard to case.
    static QString pattern();
    // The pattern with the more file types the extras may switch on, in the list's order.
    static QString pattern(bool moreFileTypes);

    // Shows `folder` (held elsewhere) instead of a folder of its own.
    void setFolder(FolderModel *folder);
    FolderModel &folder() const { return *m_model; }

    QString path() const { return m_model->path(); }
    // Lists `path`; false, and the list keeps its path and contents, when it cannot be listed.
    bool setPath(const QString &path);
    // Reads the folder again, keeping the selection on the same file while it exists.
    bool refresh();
    // The selected file's name; empty when nothing is selected.
    QString fileName() const;
    // Entry i, or empty outside the list.
    QString list(int index) const;
    // The full path of `name` in the listed folder, in native form (the current-file path).
    QString filePath(const QString &name) const;
    int listCount() const { return m_model->count(); }

    // Row access as a list widget offers it.
    int count() const { return listCount(); }
    int currentRow() const;
    // Makes `row` current and selected; outside the list nothing is.
    void setCurrentRow(int row);

Q_SIGNALS:
    void mouseDown(int button, int shift, int x, int y);
    void mouseUp(int button, int shift, int x, int y);
    void keyUp(int keyCode, int shift);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    FolderModel *m_model = nullptr;
    // The file selected before the folder was read again, selected again afterwards.
    QString m_keep;
    QString m_keepFolder;
};

namespace lists {
// F5: the three lists read the system again in place. The folder list moves up when its folder
// is gone (its changed() then lists the files); otherwise the file list keeps its selection
// where the file still exists.
void refreshAll(DriveList &drives, DirList &folders, FileList &files);
} // namespace lists
