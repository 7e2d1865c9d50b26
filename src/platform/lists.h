#pragma once

#include <QComboBox>
#include <QHash>
#include <QListWidget>
#include <QString>
#include <QStringList>

// The drive list: the mounted volumes. Each volume remembers the last folder shown on it.
class DriveList : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);

    // Replaces the listed volumes (tests list folders of their own).
    void setRoots(const QStringList &roots);
    QStringList roots() const { return m_roots; }
    // The current volume's root.
    QString drive() const;
    // Selects the volume that holds `path`; false when no listed volume does. Emits changed()
    // when the volume is another one.
    bool setDrive(const QString &path);
    // The folder a volume opens at: the last one shown on it, else its root.
    QString currentFolder(const QString &root) const;
    void rememberFolder(const QString &folder);

Q_SIGNALS:
    void changed();

private:
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

Q_SIGNALS:
    void changed();

private:
    void fill();
    void open(QListWidgetItem *item);

    QString m_path;
};

// The file list: the files of one folder that match a fixed pattern.
class FileList : public QListWidget
{
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);

    // The pattern, ";"-separated, matched without regard to case.
    static QString pattern();

    QString path() const { return m_path; }
    // Lists `path`; false, and the list keeps its contents, when it cannot be listed.
    bool setPath(const QString &path);
    // Reads the folder again.
    void refresh();
    // The selected file's name; empty when nothing is selected.
    QString fileName() const;
    // Entry i, or empty outside the list.
    QString list(int index) const;
    // The full path of `name` in the listed folder, in native form (the current-file path).
    QString filePath(const QString &name) const;
    int listCount() const { return count(); }

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
    bool listFolder(const QString &path);

    QString m_path;
};
