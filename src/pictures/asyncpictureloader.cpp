#include "asyncpictureloader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <condition_variable>
#include <map>
#include <mutex>

namespace {

// The decoders' own threads, one a core (at least two, so a thumbnail and a show decode at
// once); nothing else of the program runs there.
QThreadPool &decodePool()
{
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(qMax(2, QThread::idealThreadCount()));
        return true;
    }();
    Q_UNUSED(sized);
    return pool;
}

// libwmf keeps global state, so metafiles are played one at a time, on a thread of their own:
// a metafile waiting for another never holds a thread the other pictures decode on.
QThreadPool &metafileQueue()
{
    static QThreadPool queue;
    static const bool sized = [] {
        queue.setMaxThreadCount(1);
        return true;
    }();
    Q_UNUSED(sized);
    return queue;
}

} // namespace

// One request. Whoever takes it first decodes it: its task on the pool, or waitFor on the
// caller's thread; the other then finds it taken.
struct AsyncPictureLoader::Job
{
    int ticket = 0;
    pictures::DecodeRequest request;
    std::atomic_bool cancelled { false };
    std::atomic_bool taken { false };
};

// What the loader and its decodes share. It outlives the loader as long as a task runs, so a
// decode finishing after the loader is gone finds a null owner and delivers nothing.
struct AsyncPictureLoader::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, std::shared_ptr<Job>> jobs; // not finished
    int tasks = 0; // tasks given to a pool and not yet ended
    std::map<int, pictures::LoadResult> finished;
    AsyncPictureLoader *owner = nullptr;

    // Stores a result and has it delivered, unless the request was cancelled meanwhile.
    void finish(const Job &job, pictures::LoadResult result, bool deliver)
    {
        std::lock_guard lock(mutex);
        jobs.erase(job.ticket);
        if (!job.cancelled.load()) {
            finished[job.ticket] = std::move(result);
            // Posted under the lock the destructor takes, so never to a loader being
            // destroyed; a posted call still pending when it goes is dropped with it.
            if (AsyncPictureLoader *loader = owner; loader && deliver) {
                const int ticket = job.ticket;
                QMetaObject::invokeMethod(
                    loader, [loader, ticket]() { loader->deliver(ticket); }, Qt::QueuedConnection);
            }
        }
        changed.notify_all();
    }

    void taskEnded()
    {
        std::lock_guard lock(mutex);
        --tasks;
        changed.notify_all();
    }
};

namespace {

class DecodeTask : public QRunnable
{
public:
    DecodeTask(std::shared_ptr<AsyncPictureLoader::Shared> shared,
        std::shared_ptr<AsyncPictureLoader::Job> job, bool onMetafileQueue)
        : m_shared(std::move(shared))
        , m_job(std::move(job))
        , m_onMetafileQueue(onMetafileQueue)
    {
    }

    void run() override
    {
        AsyncPictureLoader::Job &job = *m_job;
        if (!job.cancelled.load() && !m_onMetafileQueue && !job.taken.load()
            && pictures::isMetafile(job.request.path)) {
            // Handed on before the task ends, so the loader never counts no task for it.
            {
                std::lock_guard lock(m_shared->mutex);
                ++m_shared->tasks;
            }
            metafileQueue().start(new DecodeTask(m_shared, m_job, true));
        } else if (!job.taken.exchange(true)) {
            const std::atomic_bool *flag = &job.cancelled;
            m_shared->finish(job, pictures::load(job.request, flag), true);
        }
        m_shared->taskEnded();
    }

private:
    std::shared_ptr<AsyncPictureLoader::Shared> m_shared;
    std::shared_ptr<AsyncPictureLoader::Job> m_job;
    bool m_onMetafileQueue;
};

} // namespace

AsyncPictureLoader::AsyncPictureLoader(QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

AsyncPictureLoader::~AsyncPictureLoader()
{
    // Nothing waits here: every decode not finished is told to stop and ends on its own.
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
    for (const auto &[ticket, job] : m_shared->jobs) {
        job->cancelled.store(true);
    }
    m_shared->finished.clear();
}

int AsyncPictureLoader::request(const pictures::DecodeRequest &request)
{
    const int ticket = m_nextTicket++;
    m_tickets.insert(ticket, request);
    auto job = std::make_shared<Job>();
    job->ticket = ticket;
    job->request = request;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->jobs[ticket] = job;
        ++m_shared->tasks;
    }
    decodePool().start(new DecodeTask(m_shared, std::move(job), false));
    return ticket;
}

void AsyncPictureLoader::cancel(int ticket)
{
    if (!m_tickets.remove(ticket)) {
        return;
    }
    std::lock_guard lock(m_shared->mutex);
    if (const auto job = m_shared->jobs.find(ticket); job != m_shared->jobs.end()) {
        job->second->cancelled.store(true);
        m_shared->jobs.erase(job);
    }
    m_shared->finished.erase(ticket);
}

int AsyncPictureLoader::find(const pictures::DecodeRequest &request) const
{
    for (auto asked = m_tickets.cbegin(); asked != m_tickets.cend(); ++asked) {
        if (asked.value() == request) {
            return asked.key();
        }
    }
    return 0;
}

std::optional<pictures::LoadResult> AsyncPictureLoader::waitFor(int ticket)
{
    if (!m_tickets.contains(ticket)) {
        return std::nullopt;
    }
    std::shared_ptr<Job> job;
    {
        std::lock_guard lock(m_shared->mutex);
        if (const auto found = m_shared->jobs.find(ticket); found != m_shared->jobs.end()) {
            job = found->second;
        }
    }
    if (job && !job->taken.exchange(true)) {
        // Not begun: decoded here rather than after whatever the pool is busy with.
        m_shared->finish(*job, pictures::load(job->request, &job->cancelled), false);
    }
    std::unique_lock lock(m_shared->mutex);
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
        m_shared->changed.wait(lock, [&] { return m_shared->tasks == 0; });
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void AsyncPictureLoader::waitForAllDecodes()
{
    // A metafile task is handed on before its first task ends, so the first pool empties last.
    decodePool().waitForDone();
    metafileQueue().waitForDone();
}

void AsyncPictureLoader::waitUntilIdle()
{
    while (pending() > 0) {
        waitForDone();
        QCoreApplication::processEvents();
    }
}
