#include "asyncpictureloader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

// What the loader and its decodes share. It outlives the loader as long as a decode runs, so a
// decode finishing after the loader is gone finds a null owner and delivers nothing.
struct AsyncPictureLoader::Shared
{
    struct Job
    {
        int ticket = 0;
        QString path;
        QSize size;
        Kind kind = Kind::Scaled;
        std::shared_ptr<std::atomic_bool> cancelled;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Job> queue;
    Job running; // ticket 0: none
    bool working = false; // a task on the pool is taking jobs
    std::map<int, pictures::LoadResult> finished;
    AsyncPictureLoader *owner = nullptr;

    // Takes jobs until none is left; runs on the pool.
    static void work(const std::shared_ptr<Shared> &shared)
    {
        std::unique_lock lock(shared->mutex);
        while (!shared->queue.empty()) {
            Job job = std::move(shared->queue.front());
            shared->queue.pop_front();
            shared->running = job;
            lock.unlock();
            const std::atomic_bool *flag = job.cancelled.get();
            pictures::LoadResult result = job.kind == Kind::Visible
                ? pictures::loadVisible(job.path, job.size, flag)
                : job.kind == Kind::Reduced ? pictures::loadReduced(job.path, job.size, flag)
                : job.size.isValid()        ? pictures::loadScaled(job.path, job.size, flag)
                                            : pictures::load(job.path, flag);
            lock.lock();
            shared->running = Job();
            if (!job.cancelled->load()) {
                shared->finished[job.ticket] = std::move(result);
                // Posted under the lock the destructor takes, so never to a loader being
                // destroyed; a posted call still pending when it goes is dropped with it.
                if (AsyncPictureLoader *owner = shared->owner) {
                    const int ticket = job.ticket;
                    QMetaObject::invokeMethod(
                        owner, [owner, ticket]() { owner->deliver(ticket); }, Qt::QueuedConnection);
                }
            }
            shared->changed.notify_all();
        }
        shared->working = false;
        shared->changed.notify_all();
    }
};

AsyncPictureLoader::AsyncPictureLoader(QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

AsyncPictureLoader::~AsyncPictureLoader()
{
    // Nothing waits here: queued decodes are dropped, a running one is told to stop and ends on
    // its own.
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
    for (const Shared::Job &job : m_shared->queue) {
        job.cancelled->store(true);
    }
    m_shared->queue.clear();
    if (m_shared->running.cancelled) {
        m_shared->running.cancelled->store(true);
    }
    m_shared->finished.clear();
}

int AsyncPictureLoader::request(const QString &path, const QSize &target)
{
    return start(path, target, Kind::Scaled);
}

int AsyncPictureLoader::requestVisible(const QString &path, const QSize &viewport)
{
    return start(path, viewport, Kind::Visible);
}

int AsyncPictureLoader::requestReduced(const QString &path, const QSize &target)
{
    return start(path, target, Kind::Reduced);
}

int AsyncPictureLoader::start(const QString &path, const QSize &size, Kind kind)
{
    const int ticket = m_nextTicket++;
    m_tickets.insert(ticket, { path, size, kind });
    std::lock_guard lock(m_shared->mutex);
    m_shared->queue.push_back(
        { ticket, path, size, kind, std::make_shared<std::atomic_bool>(false) });
    if (!m_shared->working) {
        // One decode at a time for each loader keeps a core free for the user interface.
        m_shared->working = true;
        QThreadPool::globalInstance()->start([shared = m_shared]() { Shared::work(shared); });
    }
    return ticket;
}

void AsyncPictureLoader::cancel(int ticket)
{
    if (!m_tickets.remove(ticket)) {
        return;
    }
    std::lock_guard lock(m_shared->mutex);
    auto &queue = m_shared->queue;
    for (auto job = queue.begin(); job != queue.end(); ++job) {
        if (job->ticket == ticket) {
            queue.erase(job);
            break;
        }
    }
    if (m_shared->running.ticket == ticket) {
        m_shared->running.cancelled->store(true);
    }
    m_shared->finished.erase(ticket);
}

int AsyncPictureLoader::find(const QString &path, const QSize &size, Kind kind) const
{
    for (auto request = m_tickets.cbegin(); request != m_tickets.cend(); ++request) {
        if (request->kind == kind && request->path == path && request->size == size) {
            return request.key();
        }
    }
    return 0;
}

int AsyncPictureLoader::findRequest(const QString &path, const QSize &target) const
{
    return find(path, target, Kind::Scaled);
}

int AsyncPictureLoader::findVisible(const QString &path, const QSize &viewport) const
{
    return find(path, viewport, Kind::Visible);
}

int AsyncPictureLoader::findReduced(const QString &path, const QSize &target) const
{
    return find(path, target, Kind::Reduced);
}

std::optional<pictures::LoadResult> AsyncPictureLoader::waitFor(int ticket)
{
    if (!m_tickets.contains(ticket)) {
        return std::nullopt;
    }
    std::unique_lock lock(m_shared->mutex);
    auto &queue = m_shared->queue;
    for (auto job = queue.begin(); job != queue.end(); ++job) {
        if (job->ticket == ticket) {
            Shared::Job moved = std::move(*job);
            queue.erase(job);
            queue.push_front(std::move(moved));
            break;
        }
    }
    m_shared->changed.wait(lock, [&] { return m_shared->finished.count(ticket) > 0; });
    pictures::LoadResult result = std::move(m_shared->finished[ticket]);
    m_shared->finished.erase(ticket);
    m_tickets.remove(ticket);
    return result;
}

void AsyncPictureLoader::deliver(int ticket)
{
    std::optional<pictures::LoadResult> result;
    {
        std::lock_guard lock(m_shared->mutex);
        const auto found = m_shared->finished.find(ticket);
        if (found == m_shared->finished.end()) {
            return; // adopted by waitFor, or cancelled
        }
        result = std::move(found->second);
        m_shared->finished.erase(found);
    }
    if (m_tickets.remove(ticket)) {
        Q_EMIT loaded(ticket, *result);
    }
}

void AsyncPictureLoader::waitForDone()
{
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->changed.wait(lock, [&] { return m_shared->queue.empty() && !m_shared->working; });
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void AsyncPictureLoader::waitUntilIdle()
{
    while (pending() > 0) {
        waitForDone();
        QCoreApplication::processEvents();
    }
}
