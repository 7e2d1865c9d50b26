#pragma once

#include "picture.h"

#include <QHash>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class QThreadPool;

// Decodes pictures away from the user-interface thread. Each request gets a ticket; the result
// comes back on the thread that owns the loader, through loaded(). A cancelled request that has
// not started is skipped; one already running finishes, and its result is not delivered.
class AsyncPictureLoader : public QObject
{
    Q_OBJECT
public:
    explicit AsyncPictureLoader(QObject *parent = nullptr);
    ~AsyncPictureLoader() override;

    // Decodes `path` for display within `target` pixels (invalid size: at its natural size).
    int request(const QString &path, const QSize &target);
    // Decodes what a viewport of `viewport` pixels shows of `path` at its own size, centred.
    int requestVisible(const QString &path, const QSize &viewport);
    void cancel(int ticket);
    // Waits until every request has finished and delivers what is pending (tests, shutdown).
    void waitForDone();
    int pending() const { return int(m_cancelled.size()); }

Q_SIGNALS:
    void loaded(int ticket, const pictures::LoadResult &result);

private:
    int start(std::function<pictures::LoadResult()> decode);

    QThreadPool *m_pool;
    int m_nextTicket = 1;
    QHash<int, std::shared_ptr<std::atomic_bool>> m_cancelled;
};
