#include "asyncpictureloader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

AsyncPictureLoader::AsyncPictureLoader(QObject *parent)
    : QObject(parent)
    , m_pool(new QThreadPool(this))
{
    // One decoder at a time keeps a core free for the user interface on small machines.
    m_pool->setMaxThreadCount(1);
}

AsyncPictureLoader::~AsyncPictureLoader()
{
    for (const auto &flag : std::as_const(m_cancelled)) {
        flag->store(true);
    }
    m_pool->waitForDone();
}

int AsyncPictureLoader::request(const QString &path, const QSize &target)
{
    return start([path, target]() {
        return target.isValid() ? pictures::loadScaled(path, target) : pictures::load(path);
    });
}

int AsyncPictureLoader::requestVisible(const QString &path, const QSize &viewport)
{
    return start([path, viewport]() { return pictures::loadVisible(path, viewport); });
}

int AsyncPictureLoader::start(std::function<pictures::LoadResult()> decode)
{
    const int ticket = m_nextTicket++;
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    m_cancelled.insert(ticket, cancelled);
    QPointer<AsyncPictureLoader> self(this);
    m_pool->start([self, ticket, decode = std::move(decode), cancelled]() {
        if (cancelled->load()) {
            return;
        }
        pictures::LoadResult result = decode();
        if (cancelled->load()) {
            return;
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, ticket, cancelled, result = std::move(result)]() {
                if (!self || cancelled->load()) {
                    return;
                }
                self->m_cancelled.remove(ticket);
                Q_EMIT self->loaded(ticket, result);
            },
            Qt::QueuedConnection);
    });
    return ticket;
}

void AsyncPictureLoader::cancel(int ticket)
{
    if (const auto flag = m_cancelled.take(ticket)) {
        flag->store(true);
    }
}

void AsyncPictureLoader::waitForDone()
{
    m_pool->waitForDone();
    QCoreApplication::sendPostedEvents(this);
}
