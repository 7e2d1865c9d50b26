#pragma once

#include "picture.h"
#include "thumbnailcache.h"

#include <QHash>
#include <QObject>

#include <memory>
#include <optional>

// Decodes pictures away from the user-interface thread, each request as a task of its own on the
// decoders' pool (metafiles, which libwmf plays one at a time, on a queue of their own, so a slow
// metafile never holds up a JPEG). Each request gets a ticket; the result comes back on the
// thread that owns the loader, through loaded(). A cancelled request is skipped if it has not
// started, and stopped mid-way where the decoder allows if it has; its result is never
// delivered. Destroying the loader never waits for a decode: a running one is cancelled and left
// to end on its own, touching nothing of the loader.
class AsyncPictureLoader : public QObject
{
    Q_OBJECT
public:
    explicit AsyncPictureLoader(QObject *parent = nullptr);
    ~AsyncPictureLoader() override;

    // How a loader's requests take the decoders' threads.
    enum class Order {
        // In the order asked, on threads of their own, never behind a NewestFirst loader's
        // (what a window shows now).
        Foremost,
        // The newest first, on at most one thread a core the process may use, so the latest
        // request waits for no more than the decodes already running; decodes that hold a whole
        // picture's coefficients (progressive JPEGs) one at a time (thumbnails).
        NewestFirst,
    };
    // For the requests made from now on; Foremost until set.
    void setOrder(Order order) { m_order = order; }
    // Within requests are answered from `cache` where it holds a thumbnail covering the size,
    // and what is decoded for them is stored there, after it has been delivered (thumbnail
    // slots); nothing: decoded every time.
    void setThumbnailCache(std::optional<ThumbnailCache> cache);

    // Decodes what `request` asks (see pictures::DecodeRequest).
    int request(const pictures::DecodeRequest &request);
    void cancel(int ticket);

    // The ticket of a request for the same decode not yet delivered (0: none), so a caller that
    // needs a picture now can adopt one already asked for instead of decoding it again.
    int find(const pictures::DecodeRequest &request) const;
    // Waits for one request (decoded right here if it has not started) and returns its result,
    // which is then not delivered through loaded(); nothing for a ticket that was delivered,
    // cancelled or never given.
    std::optional<pictures::LoadResult> waitFor(int ticket);

    // Waits until every request has finished and delivers what is pending (tests, shutdown).
    void waitForDone();
    // Waits, delivering, until nothing is asked any more, requests made on delivery included
    // (tests and benchmarks).
    void waitUntilIdle();
    int pending() const { return int(m_tickets.size()); }
    // Waits until every decode of every loader, destroyed loaders' included, has ended (tests,
    // before the files they read go).
    static void waitForAllDecodes();

Q_SIGNALS:
    void loaded(int ticket, const pictures::LoadResult &result);

public:
    struct Shared;
    struct Job;

private:
    void deliver(int ticket);

    std::shared_ptr<Shared> m_shared;
    Order m_order = Order::Foremost;
    std::optional<ThumbnailCache> m_cache;
    int m_nextTicket = 1;
    QHash<int, pictures::DecodeRequest> m_tickets; // requested, not yet delivered or cancelled
};
