#include "asyncpictureloader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>

namespace {

// The decoders' own threads, one a core the process may use (Qt counts the cores its affinity
// allows); nothing else of the program runs there. What a window shows now decodes on threads of
// its own, so it never waits for a thread behind the thumbnails.
// The pools live as long as the process: a decode stuck on a file that never answers (a mount
// whose server is gone) holds its thread for good, and a pool destroyed at exit would wait for it
// for ever. At exit they are given a few seconds to finish what runs, then left to the end of the
// process.
QThreadPool &lastingPool(int threads)
{
    auto *pool = new QThreadPool;
    pool->setMaxThreadCount(threads);
    return *pool;
}

void waitAtExit(QThreadPool &pool)
{
    static QList<QThreadPool *> pools;
    if (pools.isEmpty()) {
        qAddPostRoutine([] {
            for (QThreadPool *each : pools) {
                each->waitForDone(3000);
            }
        });
    }
    pools.append(&pool);
}

QThreadPool &decodePool(AsyncPictureLoader::Order order)
{
    static QThreadPool &foremost = lastingPool(QThread::idealThreadCount());
    static QThreadPool &newestFirst = lastingPool(QThread::idealThreadCount());
    static const bool registered = [] {
        waitAtExit(foremost);
        waitAtExit(newestFirst);
        return true;
    }();
    Q_UNUSED(registered);
    return order == AsyncPictureLoader::Order::Foremost ? foremost : newestFirst;
}

// Where a request stands in its pool's queue: a Foremost loader's in the order asked, a
// NewestFirst loader's newest first.
int queuePriority(AsyncPictureLoader::Order order, int ticket)
{
    return order == AsyncPictureLoader::Order::Foremost ? 0 : ticket;
}

// libwmf keeps global state, so metafiles are played one at a time, on a thread of their own:
// a metafile waiting for another never holds a thread the other pictures decode on.
QThreadPool &metafileQueue()
{
    static QThreadPool &queue = lastingPool(1);
    static const bool registered = [] {
        waitAtExit(queue);
        return true;
    }();
    Q_UNUSED(registered);
    return queue;
}

} // namespace

// One request. Whoever takes it first decodes it: its task on the pool, or waitFor on the
// caller's thread; the other then finds it taken.
struct AsyncPictureLoader::Job
{
    int ticket = 0;
    pictures::DecodeRequest request;
    Order order = Order::Foremost;
    std::optional<ThumbnailCache> cache;
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

// A thumbnail for a slot of `slot` device pixels from `decoded`, a whole picture at least that
// size (aspect kept), averaged down as a decode for the slot would be.
pictures::LoadResult fittedToSlot(pictures::LoadResult decoded, const QSize &slot)
{
    QImage &image = decoded.picture.image;
    const QSize natural = decoded.picture.naturalSize;
    if (!decoded.ok() || image.isNull() || natural.isEmpty()
        || (image.width() <= slot.width() && image.height() <= slot.height())) {
        return decoded;
    }
    // The size a decode for the slot has: the natural size fitted, not the thumbnail's.
    const QSize shown = natural.scaled(slot, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    image = image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return decoded;
}

// Whether `thumbnail` shows a picture of `natural` pixels as it stands (a thumbnail made
// without the EXIF orientation is turned the other way).
bool sameShape(const QSize &thumbnail, const QSize &natural)
{
    const qreal a = qreal(thumbnail.width()) / thumbnail.height();
    const qreal b = qreal(natural.width()) / natural.height();
    return qAbs(a - b) <= 0.05 * b + 1.0 / thumbnail.height();
}

// Decodes `job` on the calling thread; `deliver`: has the result delivered through the loader.
// A thumbnail slot's request is looked up in the cache first; what is decoded for it is stored
// there once the slot has it.
void runJob(AsyncPictureLoader::Shared &shared, AsyncPictureLoader::Job &job, bool deliver);

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
            metafileQueue().start(
                new DecodeTask(m_shared, m_job, true), queuePriority(job.order, job.ticket));
        } else if (!job.taken.exchange(true)) {
            runJob(*m_shared, job, true);
        }
        m_shared->taskEnded();
    }

private:
    std::shared_ptr<AsyncPictureLoader::Shared> m_shared;
    std::shared_ptr<AsyncPictureLoader::Job> m_job;
    bool m_onMetafileQueue;
};

void runJob(AsyncPictureLoader::Shared &shared, AsyncPictureLoader::Job &job, bool deliver)
{
    const pictures::DecodeRequest &request = job.request;
    const std::atomic_bool *cancelled = &job.cancelled;
    const pictures::Sharing sharing = job.order == AsyncPictureLoader::Order::NewestFirst
        ? pictures::Sharing::OneLargeAtATime
        : pictures::Sharing::Alongside;
    const QSize slot = request.size;
    const int edge = ThumbnailCache::edgeOf(ThumbnailCache::folderFor(slot));
    if (!job.cache || request.what != pictures::DecodeRequest::What::Within
        || !request.region.isEmpty() || !slot.isValid() || slot.isEmpty() || edge == 0) {
        shared.finish(job, pictures::load(request, cancelled, sharing), deliver);
        return;
    }
    const ThumbnailCache &cache = *job.cache;
    if (std::optional<QImage> hit = cache.find(request.path, slot)) {
        pictures::LoadResult header = pictures::readSize(request.path);
        if (header.ok() && sameShape(hit->size(), header.picture.naturalSize)) {
            header.picture.image = std::move(*hit);
            header.picture.file = request.path;
            shared.finish(job, fittedToSlot(std::move(header), slot), deliver);
            return;
        }
    }
    // Decoded once at the size the cache keeps (a large photo's smallest JPEG scale is larger
    // than that already, so it costs nothing more), stored, and averaged down for the slot.
    const std::optional<ThumbnailCache::Stamp> before = cache.stamp(request.path);
    pictures::LoadResult decoded = pictures::load(
        pictures::DecodeRequest::within(request.path, slot.expandedTo(QSize(edge, edge))),
        cancelled, sharing);
    const QImage kept = decoded.ok() ? decoded.picture.image : QImage();
    const pictures::Failure failure = decoded.failure;
    shared.finish(job, fittedToSlot(std::move(decoded), slot), deliver);
    if (!before) {
        return;
    }
    // Written behind every decode still queued: a slot waiting is worth more than a file.
    decodePool(AsyncPictureLoader::Order::NewestFirst)
        .start(
            [cache, stamp = *before, slot, kept, failure] {
                if (!kept.isNull()) {
                    cache.store(stamp, slot, kept);
                } else if (failure == pictures::Failure::NotAPicture
                    || failure == pictures::Failure::TooLarge) {
                    cache.storeFailure(stamp);
                }
            },
            std::numeric_limits<int>::min());
}

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
    job->order = m_order;
    job->cache = m_cache;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->jobs[ticket] = job;
        ++m_shared->tasks;
    }
    decodePool(m_order).start(
        new DecodeTask(m_shared, std::move(job), false), queuePriority(m_order, ticket));
    return ticket;
}

void AsyncPictureLoader::setThumbnailCache(std::optional<ThumbnailCache> cache)
{
    m_cache = std::move(cache);
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
        runJob(*m_shared, *job, false);
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
    // A metafile task is handed on before its first task ends, so the first pools empty last.
    decodePool(Order::Foremost).waitForDone();
    decodePool(Order::NewestFirst).waitForDone();
    metafileQueue().waitForDone();
    // A metafile's thumbnail is stored from its own queue, behind the thumbnails' decodes.
    decodePool(Order::NewestFirst).waitForDone();
}

void AsyncPictureLoader::waitUntilIdle()
{
    while (pending() > 0) {
        waitForDone();
        QCoreApplication::processEvents();
    }
}
